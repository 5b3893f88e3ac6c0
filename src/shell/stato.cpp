#include "shell/stato.h"

#include "base/errore.h"
#include "base/percorsi.h"

namespace korva {
namespace {

std::string percorsoStato(const std::string& binDir)
{
    return binDir + "stato" + kSep + "STATO.TXT";
}

}  // namespace

void ScriviStato(Interazione& interazione, const std::string& binDir, const std::string& parola,
                 Env& env)
{
    constexpr const char* kVerificare = "Verificare esistenza directory STATO e posizione directory bin";
    // Readers poll the file without a lock: replacing it whole means they never meet it
    // half-written.
    std::unique_ptr<AtomicFileWriter> scrittore;
    try {
        // Folder and file keep the case other programs gave them; two names differing only
        // in case leave the file unknown, as a missing folder does.
        const std::string percorso = risolviPerCreare(percorsoStato(binDir));
        scrittore = std::make_unique<AtomicFileWriter>(env, percorso);
    } catch (const Error&) {
        interazione.messaggio(kVerificare);
        return;
    }
    scrittore->append(parola);
    try {
        scrittore->commit();
    } catch (const ReplaceRefused&) {
        // A file that cannot take the word's place (a directory of that name) is one that
        // cannot be created.
        interazione.messaggio(kVerificare);
    }
}

std::string LeggiStato(const std::string& binDir, Env& env)
{
    try {
        auto percorso = risolviPercorso(percorsoStato(binDir));
        if (!percorso)
            return kStatoApriti;
        std::string dati = readWholeFile(env, *percorso);
        return dati.substr(0, dati.find_first_of("\r\n"));
    } catch (const Error&) {
        return kStatoApriti;
    }
}

}  // namespace korva
