#include "maintenance/backup.h"

#include "base/percorsi.h"
#include "dictionary/gestione_tabelle.h"
#include "engines/paradox/copy_hold.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_file.h"
#include "maintenance/backup_archivio.h"
#include "maintenance/cartelle.h"
#include "maintenance/copia_file.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>

namespace korva {

ErroreBackup::ErroreBackup(const std::string& file, const std::string& causa)
    : Error(std::string(kErroreBackup) + " di " + file + "\n" + causa)
{
}

namespace {

std::string maiuscole(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string estensione(const std::string& nome)
{
    const auto punto = nome.rfind('.');
    return punto == std::string::npos ? std::string() : maiuscole(nome.substr(punto + 1));
}

std::string base(const std::string& nome)
{
    return nome.substr(0, nome.rfind('.'));
}

// The engine's lock files, journals, switch journals and files being built: a state of work,
// never data, and a journal copied beside a table would be replayed on it.
bool fileDiLavoro(const std::string& nome)
{
    const std::string e = estensione(nome);
    return e == "LCK" || e == "JNL" || e == "JSW" || nome.find(".tmp-") != std::string::npos;
}

bool fileDiTabella(const std::string& nome)
{
    const std::string e = estensione(nome);
    return e == "DB" || paradox::isCompanionExtension(e);
}

// The .DB file of `nome`'s table in the folder, when it is one of a table's files.
std::string tabellaDi(const std::string& nome, const std::vector<std::string>& cartella)
{
    if (!fileDiTabella(nome))
        return {};
    const std::string cercato = base(nome) + ".DB";
    for (const auto& f : cartella)
        if (strcasecmp(f.c_str(), cercato.c_str()) == 0)
            return f;
    return {};
}

void rimuoviSeEsiste(Env& env, const std::string& percorso)
{
    try {
        if (env.exists(percorso))
            env.remove(percorso);
    } catch (const Error&) {
        // A leftover ".tmp-" file is harmless; the failure that got us here is the one told.
    }
}

std::string nomeTemporaneo(const std::string& nome)
{
    static std::atomic<unsigned> contatore{0};
    return nome + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(contatore++);
}

// The files of one table, copied while it is held still and switched in together.
void copiaTabella(Env& env, const std::string& da, const std::string& a, const std::string& tabella,
                  const std::vector<std::string>& file)
{
    std::unique_ptr<paradox::CopyHold> ferma;
    try {
        ferma = std::make_unique<paradox::CopyHold>(env, da, tabella);
    } catch (const Error& e) {
        throw ErroreBackup(da + "/" + tabella, e.what());
    }
    const std::string b = base(tabella);
    std::vector<std::pair<std::string, std::string>> scambi;
    try {
        // A switch an earlier backup left half-done is ended first.
        paradox::completePendingSwitch(env, a, b);
        for (const auto& f : file) {
            scambi.emplace_back(nomeTemporaneo(f), f);
            try {
                copiaInNuovoFile(env, da + "/" + f, a + "/" + scambi.back().first);
            } catch (const Error& e) {
                throw ErroreBackup(da + "/" + f, e.what());
            }
        }
        // The data file last; the earlier backup's files of the table that it no longer has
        // go, or they would be taken for its indexes.
        std::stable_partition(scambi.begin(), scambi.end(),
                              [](const auto& s) { return estensione(s.second) != "DB"; });
        std::vector<std::string> via;
        for (const auto& f : fileDellaCartella(a))
            if (strcasecmp(base(f).c_str(), b.c_str()) == 0 && fileDiTabella(f) &&
                std::find(file.begin(), file.end(), f) == file.end())
                via.push_back(f);
        paradox::switchTableFiles(env, a, b, scambi, via);
    } catch (const Error& e) {
        // Until its journal is written the switch has not begun: the copies go.
        if (!env.exists(a + "/" + b + ".JSW"))
            for (const auto& s : scambi)
                rimuoviSeEsiste(env, a + "/" + s.first);
        if (dynamic_cast<const ErroreBackup*>(&e))
            throw;
        throw ErroreBackup(da + "/" + tabella, e.what());
    }
}

// Whether the repair-backup directory can take this backup; its message when it cannot.
bool directoryBackupValida(GestioneTabelle& g)
{
    TTabForm& t = g.tabForm();
    const std::string pathParziale = g.rigaCorrente().value_or(DefTabella{}).PathParziale;
    if (directoryImpostata(t.BackupRiparazioniDir)) {
        const std::string& lavoro = richiediDirectory(t, DirectoryLavoro::Lavoro);
        if (!stessaCartella(lavoro + pathParziale, t.BackupRiparazioniDir + pathParziale))
            return true;
    }
    g.interazione().messaggio(kErroreDirBackup);
    return false;
}

}  // namespace

std::optional<int> BackUpTabCorrente(GestioneTabelle& g, Env& env)
{
    if (!g.Precondizioni())
        return std::nullopt;
    g.ImpostaPercorsoTabellaCorrente();
    const DefTabella riga = *g.rigaCorrente();
    const std::string da = cartellaFs(g.DirTabellaCorrente);
    const std::string& backupDir = richiediDirectory(g.tabForm(), DirectoryLavoro::BackupRiparazioni);
    creaPercorso(percorsoFs(backupDir + riga.PathParziale));
    const std::string a = cartellaFs(backupDir + riga.PathParziale);
    if (!esisteDirectory(a))
        throw ErroreBackup(riga.NomeTabella, "Impossibile creare la cartella di backup " + a);

    const std::string nome = maiuscole(riga.NomeTabella);
    const std::vector<std::string> presenti = fileDellaCartella(da);
    std::map<std::string, std::vector<std::string>> perTabella;
    std::vector<std::string> sciolti;
    for (const auto& f : presenti) {
        if (fileDiLavoro(f) || maiuscole(f).find(nome) == std::string::npos)
            continue;
        const std::string tabella = tabellaDi(f, presenti);
        if (tabella.empty())
            sciolti.push_back(f);
        else
            perTabella[tabella].push_back(f);
    }
    int copiati = 0;
    for (const auto& [tabella, file] : perTabella) {
        copiaTabella(env, da, a, tabella, file);
        copiati += static_cast<int>(file.size());
    }
    for (const auto& f : sciolti) {
        try {
            CopiaFile(env, da + "/" + f, a + "/" + f);
        } catch (const Error& e) {
            throw ErroreBackup(da + "/" + f, e.what());
        }
        ++copiati;
    }
    return copiati;
}

bool BackupTabCorrente(GestioneTabelle& g, Env& env)
{
    g.InizioElaborazione();
    bool fatto = false;
    if (g.modoInterbase()) {
        fatto = BackupArchivio(g, env);
    } else if (directoryBackupValida(g)) {
        try {
            if (const auto copiati = BackUpTabCorrente(g, env)) {
                if (*copiati > 0) {
                    g.interazione().messaggio(kBackupTabellaCompletato);
                    fatto = true;
                } else {
                    g.interazione().messaggio("Nessun file della tabella " + g.EditTabellaCorrente() +
                                              " in " + cartellaFs(g.DirTabellaCorrente) +
                                              ": nessun file copiato");
                }
            }
        } catch (const ErroreBackup& e) {
            g.interazione().messaggio(e.what());
        }
    }
    g.FineElaborazione();
    return fatto;
}

bool BackupTutteLeTabelle(GestioneTabelle& g, Env& env)
{
    g.InizioElaborazione();
    bool fatto = false;
    if (directoryBackupValida(g)) {
        const auto totale = static_cast<std::int64_t>(g.elencoTabelle().size());
        std::int64_t numero = 0;
        int nonCopiate = 0;
        g.perOgniTabella([&] {
            // A table that cannot be copied (in use, unreadable): told, and the run goes on.
            try {
                BackUpTabCorrente(g, env);
            } catch (const ErroreBackup& e) {
                g.interazione().messaggio(e.what());
                ++nonCopiate;
            }
            g.interazione().progresso("Backup " + g.EditTabellaCorrente(), ++numero, totale);
        });
        g.interazione().messaggio(kBackupTutteCompletato + tabelleNonFatte(nonCopiate, "copiata", "copiate"));
        fatto = nonCopiate == 0;
    }
    g.FineElaborazione();
    return fatto;
}

}  // namespace korva
