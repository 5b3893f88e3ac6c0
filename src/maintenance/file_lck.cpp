#include "maintenance/file_lck.h"

#include "base/errore.h"
#include "dictionary/cartella_tabella.h"
#include "dictionary/gestione_tabelle.h"
#include "maintenance/cartelle.h"
#include "shell/directory_ditta.h"

#include <strings.h>

#include <set>

namespace korva {

namespace {

bool fileLck(const std::string& nome)
{
    return nome.size() > 4 && strcasecmp(nome.c_str() + nome.size() - 4, ".lck") == 0;
}

paradox::LckStatus esamina(Env& env, const std::string& percorso)
{
    try {
        return paradox::examineLckFile(env, percorso);
    } catch (const Error&) {
        // Unreadable: nothing can be told of it.
        return {};
    }
}

}  // namespace

std::string VoceLck::descrizioneStato() const
{
    switch (stato.state) {
    case paradox::LckState::InUse:
        return stato.describe();
    case paradox::LckState::Stale:
        return "non in uso";
    case paradox::LckState::Foreign:
        break;
    }
    return "di un altro programma: non verificabile";
}

std::vector<VoceLck> CercaFileLck(GestioneTabelle& g, Env& env)
{
    const std::string lavoroDir = richiediDirectory(g.tabForm(), DirectoryLavoro::Lavoro);
    std::vector<VoceLck> voci;
    // A folder is the same whatever spelling or link leads to it.
    std::set<std::pair<std::uint64_t, std::uint64_t>> cartelleViste;
    g.perOgniTabella(
        [&] {
            const DefTabella riga = *g.rigaCorrente();
            if (!cartellaNellaDirectoryDiLavoro(lavoroDir, riga.PathParziale)) {
                g.interazione().messaggio("La cartella \"" + riga.PathParziale + "\" della tabella " +
                                          riga.NomeTabella + " è fuori dalla directory di lavoro " + lavoroDir +
                                          ": non vi si cercano file .lck");
                return;
            }
            const std::string cartella = cartellaFs(lavoroDir + riga.PathParziale);
            const auto identita = env.identity(cartella);
            if (!identita || !cartelleViste.insert({identita->device, identita->inode}).second)
                return;
            for (const auto& nome : fileDellaCartella(cartella))
                if (fileLck(nome)) {
                    const std::string percorso = cartella + "/" + nome;
                    voci.push_back({percorso, esamina(env, percorso)});
                }
        },
        true);
    return voci;
}

std::vector<VoceLck> RicercaFileLck(GestioneTabelle& g, Env& env)
{
    auto voci = CercaFileLck(g, env);
    if (voci.empty())
        g.interazione().messaggio(kNessunFileLck);
    return voci;
}

ListaLck::ListaLck(Interazione& interazione, std::vector<VoceLck> voci, Env& env)
    : interazione_(interazione), voci_(std::move(voci)), env_(env)
{
}

bool ListaLck::EliminaSelezionati(const std::vector<std::size_t>& selezionati)
{
    if (interazione_.domanda(kDomandaEliminaLck) == Risposta::No)
        return false;
    bool tutti = true;
    const std::set<std::size_t> scelti(selezionati.begin(), selezionati.end());
    for (std::size_t i : scelti) {
        if (i >= voci_.size())
            continue;
        const std::string& percorso = voci_[i].percorso;
        try {
            if (!env_.exists(percorso))
                throw Error("Il file non esiste più.");
            paradox::removeLckFile(env_, percorso);
        } catch (const Error& e) {
            tutti = false;
            interazione_.messaggio(kImpossibileEliminare + percorso + "\n" + e.what());
        }
    }
    for (std::size_t i = voci_.size(); i-- > 0;) {
        if (!env_.exists(voci_[i].percorso))
            voci_.erase(voci_.begin() + static_cast<std::ptrdiff_t>(i));
        else
            voci_[i].stato = esamina(env_, voci_[i].percorso);
    }
    return tutti;
}

std::vector<std::size_t> ListaLck::nonInUso() const
{
    std::vector<std::size_t> v;
    for (std::size_t i = 0; i < voci_.size(); ++i)
        if (voci_[i].stato.state == paradox::LckState::Stale)
            v.push_back(i);
    return v;
}

}  // namespace korva
