#include "shell/cambio_ditta.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "engines/paradox/table.h"
#include "shell/directory_ditta.h"

namespace korva {

std::optional<std::string> DittaSuccessiva(const std::string& binDir, const std::string& corrente)
{
    paradox::Table tabella;
    tabella.setDatabaseName(binDir + "NomiDit");
    tabella.setTableName("NomiDit.db");
    tabella.open();
    tabella.setIndexName("Descrizione");
    tabella.setKey();
    try {
        tabella.field("Descrizione").setString(corrente);
    } catch (const Error&) {
        // Too long for the field, or not writable in the table's code page: no company of
        // the list can have this name.
        return std::nullopt;
    }
    if (!tabella.gotoKey())
        return std::nullopt;
    tabella.next();
    if (tabella.eof())
        tabella.first();
    return tabella.field("Descrizione").asString();
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
    auto nuova = DittaSuccessiva(richiediDirectory(attuale, DirectoryLavoro::Bin), attuale.NomeDitta);
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
