// What the two registrations share: lower case, the checks of the rows, the messages, and the
// last steps (the question, the differences, the writing, the new row made current).

#include "dictionary/registrazione.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/percorsi.h"
#include "dictionary/cartella_tabella.h"
#include "dictionary/descrizione.h"
#include "dictionary/gestione_tabelle.h"
#include "dictionary/nome_riservato.h"
#include "shell/directory_ditta.h"
#include "shell/tabform.h"

namespace korva {
namespace {

unsigned char minuscola1252(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A: return 0x9A;  // Š
    case 0x8C: return 0x9C;  // Œ
    case 0x8E: return 0x9E;  // Ž
    case 0x9F: return 0xFF;  // Ÿ
    default: return c;
    }
}

// The dictionary's field sizes, in bytes of its code page.
constexpr int kNomeTabella = 8;
constexpr int kPathParziale = 128;
constexpr int kNomeCampo = 25;
constexpr int kNomeIndice = 25;

void verificaTesto(const std::string& tabella, const std::string& cosa, const std::string& testo,
                   int massimo)
{
    std::string byte;
    try {
        byte = codepage::fromUtf8(testo, codepage::kWindowsWestern);
    } catch (const Error& e) {
        rifiutaRegistrazione(tabella, cosa + " \"" + testo + "\" non si può scrivere nel dizionario (" +
                                          e.what() + ")");
    }
    if (byte.find('\0') != std::string::npos)
        rifiutaRegistrazione(tabella, cosa + " contiene un carattere nullo");
    if (byte.size() > static_cast<size_t>(massimo))
        rifiutaRegistrazione(tabella, cosa + " \"" + testo + "\" è più lungo di " + std::to_string(massimo) +
                                          " caratteri, quanti il dizionario gliene riserva");
}

}  // namespace

std::string minuscole(const std::string& testo)
{
    try {
        std::string byte = codepage::fromUtf8(testo, codepage::kWindowsWestern);
        for (char& c : byte)
            c = static_cast<char>(minuscola1252(static_cast<unsigned char>(c)));
        return codepage::toUtf8(byte, codepage::kWindowsWestern);
    } catch (const Error&) {
        // A character outside the Western code page: only the plain letters change (the name
        // is then refused by the checks anyway).
        std::string r = testo;
        for (char& c : r)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return r;
    }
}

void rifiutaRegistrazione(const std::string& tabella, const std::string& motivo)
{
    throw Error("Impossibile registrare la tabella " + tabella + ": " + motivo);
}

void verificaVoce(const std::string& nome, const std::string& pathParziale)
{
    if (nome.empty())
        rifiutaRegistrazione("senza nome", "manca il nome della tabella");
    // The name is a file name in its folder (Paradox creation joins it to the folder).
    if (!nomeFileSemplice(nome))
        rifiutaRegistrazione(nome, "il nome non è un nome di file (senza \"/\", \"\\\", \"..\" o "
                                   "caratteri nulli)");
    verificaTesto(nome, "il nome della tabella", nome, kNomeTabella);
    verificaTesto(nome, "la cartella", pathParziale, kPathParziale);
}

void verificaRegistrazione(const RigheTabella& righe)
{
    const std::string& nome = righe.tabella.NomeTabella;
    verificaVoce(nome, righe.tabella.PathParziale);
    for (const DefCampo& c : righe.campi) {
        if (c.NomeCampo.empty())
            rifiutaRegistrazione(nome, "il campo numero " + std::to_string(c.NumeroCampo) + " non ha nome");
        verificaTesto(nome, "il nome del campo", c.NomeCampo, kNomeCampo);
    }
    for (const DefIndiceComposto& i : righe.indici)
        verificaTesto(nome, "il nome dell'indice", i.NomeIndiceSecComp, kNomeIndice);
    // What creation will read from these rows, checked the same way.
    try {
        descriviTabella(righe.tabella, righe.campi, righe.indici);
    } catch (const Error& e) {
        rifiutaRegistrazione(nome, e.what());
    }
}

std::string testoDifferenze(const std::string& tabella, const std::vector<std::string>& differenze)
{
    std::string testo = "La tabella " + tabella + " sarà registrata con queste differenze:";
    for (const std::string& d : differenze)
        testo += "\n" + d;
    return testo;
}

// ---- the last steps, in the table manager ---------------------------------------------------------

bool GestioneTabelle::consentiSostituzione(const std::string& nome)
{
    paradox::Table cerca(sessione_);
    cerca.setDatabaseName(Table1.databaseName());
    cerca.setTableName(Table1.tableName());
    cerca.open();
    if (!cerca.findKey({nome}))
        return true;
    return interazione_.domanda(kDomandaSostituzione) == Risposta::Si;
}

void GestioneTabelle::registra(const TabellaLetta& letta)
{
    verificaRegistrazione(letta.righe);
    const DefTabella& t = letta.righe.tabella;
    // Typed or chosen, the folder is where the commands will make and change files.
    const bool dentro = directoryImpostata(tabForm_.LavoroDir)
                            ? cartellaNellaDirectoryDiLavoro(tabForm_.LavoroDir, t.PathParziale)
                            : cartellaRelativaInterna(t.PathParziale);
    if (!dentro)
        rifiutaRegistrazione(t.NomeTabella, "la cartella \"" + t.PathParziale + "\" è fuori dalla directory di lavoro" +
                                                (directoryImpostata(tabForm_.LavoroDir) ? " " + tabForm_.LavoroDir : ""));
    if (nomeTabellaConfronto(t.NomeTabella))
        interazione_.messaggio(avvisoNomeTabellaConfronto(t.NomeTabella));
    for (const std::string& avviso : letta.avvisi)
        interazione_.messaggio(avviso);
    if (!letta.differenze.empty())
        interazione_.messaggio(testoDifferenze(letta.righe.tabella.NomeTabella, letta.differenze));
    sostituisciVoceDizionario(sessione_, tracciatiDir_, letta.righe);
    vaiA(letta.righe.tabella.NomeTabella);
}

}  // namespace korva
