// Regeneration moves each value exactly or refuses it. A text with a point before three
// digits reads, in an Italian company's data, as thousands ("1.000" is one thousand): taken
// as a decimal point it becomes a number a thousand times smaller without a word.

#include "engines/paradox/table.h"
#include "support/cartella_temporanea.h"
#include "support/errore_di.h"

#include <gtest/gtest.h>

namespace korva::paradox {
namespace {

using test::CartellaTemporanea;

TEST(ProveOstiliRigenerazione, UnTestoConIlPuntoDelleMigliaiaNonDiventaUnNumeroPiuPiccolo)
{
    struct Caso {
        std::string testo;
        FieldType a;
        double migliaia;  // the value the text has when its point separates thousands
    };
    const std::vector<Caso> casi = {
        {"1.000", FieldType::Number, 1000},
        {"12.500", FieldType::Money, 12500},
        {"-2.000", FieldType::Number, -2000},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.testo + " -> " + typeName(c.a));
        CartellaTemporanea d;
        Session s;
        s.setDurable(false);
        Table t(s);
        t.setDatabaseName(d.percorso());
        t.setTableName("R.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", FieldType::Alpha, 10, false}};
        t.indexDefs = {{"", "K", IndexOption::Primary | IndexOption::Unique}};
        t.createTable();
        t.open();
        t.append();
        t.field(0).setInteger(1);
        t.field(1).setString(c.testo);
        t.post();
        t.close();
        const std::string prima = test::leggiFile(d / "R.DB");
        t.fieldDefs = {{"K", FieldType::Long, 0, false}, {"F", c.a, 0, false}};
        const std::string errore = test::erroreDi([&] { t.regenerateTable(); });
        if (errore != "nessun errore") {
            // Refused as ambiguous: the table as it was.
            EXPECT_EQ(test::leggiFile(d / "R.DB"), prima);
            continue;
        }
        t.open();
        t.first();
        EXPECT_EQ(t.field(1).asFloat(), c.migliaia) << "\"" << c.testo << "\" diventato " << t.field(1).asString();
    }
}

}  // namespace
}  // namespace korva::paradox
