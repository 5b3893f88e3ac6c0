#include "shell/cambio_ditta.h"

#include "base/codepage.h"
#include "base/percorsi.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"

#include <algorithm>

namespace korva {

std::optional<std::string> DittaSuccessiva(const std::vector<std::string>& ditte,
                                           const std::string& corrente)
{
    auto trovata = std::find(ditte.begin(), ditte.end(), corrente);
    if (trovata == ditte.end())
        return std::nullopt;
    ++trovata;
    return trovata == ditte.end() ? ditte.front() : *trovata;
}

std::vector<std::string> NomiDitte(const std::string& binDir)
{
    paradox::Table tabella;
    tabella.setDatabaseName(binDir + "NomiDit");
    tabella.setTableName("NomiDit.db");
    tabella.open();

    struct Ditta {
        std::string nome;    // UTF-8
        std::string chiave;  // the field's bytes, as the index compares them
    };
    std::vector<Ditta> ditte;
    paradox::Field descrizione = tabella.field("Descrizione");
    for (tabella.first(); !tabella.eof(); tabella.next()) {
        std::string chiave = descrizione.asBytes();
        chiave.resize(std::min(chiave.size(), chiave.find('\0')));
        ditte.push_back({descrizione.asString(), std::move(chiave)});
    }

    // The order of the index "Descrizione": the table's own collation over the stored bytes,
    // equal names in the table's order. (Walked in memory until the engine navigates
    // secondary indexes.)
    const paradox::Header& h = tabella.file().header();
    const paradox::Collation* collation =
        paradox::knowledgeCollationFor(h.sortOrder, h.sortOrderId, tabella.file().codePage());
    std::stable_sort(ditte.begin(), ditte.end(), [collation](const Ditta& a, const Ditta& b) {
        return collation ? collation->compare(a.chiave, b.chiave) < 0 : a.chiave < b.chiave;
    });
    tabella.close();

    std::vector<std::string> nomi;
    nomi.reserve(ditte.size());
    for (auto& d : ditte)
        nomi.push_back(std::move(d.nome));
    return nomi;
}

void ScriviDittaCfg(const std::string& dittaDir, const std::string& nome, Env& env)
{
    // Other programs read it at any moment: it is replaced whole.
    writeFileAtomic(env, risolviPerCreare(dittaDir + kSep + "ditta.cfg"),
                    codepage::fromUtf8(nome, codepage::kWindowsWestern) + "\r\n");
}

bool CambioDitta(std::unique_ptr<TTabForm>& tabForm, Interazione& interazione)
{
    const TTabForm& attuale = *tabForm;
    auto nuova = DittaSuccessiva(NomiDitte(attuale.BinDir), attuale.NomeDitta);
    if (!nuova)
        return false;
    ScriviDittaCfg(attuale.DittaDir, *nuova);
    paradox::Session::standard().dropIdleConnections();
    // The new holder is read before the current one goes, so that a failure leaves the
    // program with the company it had.
    auto nuovo = std::make_unique<TTabForm>(interazione, attuale.AvvioDir,
                                            attuale.percorsoImpostazioni());
    tabForm = std::move(nuovo);
    return true;
}

}  // namespace korva
