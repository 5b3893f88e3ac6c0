#include "maintenance/segno_processo.h"

#include "base/errore.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace korva {

namespace {

constexpr const char* kIntestazione = "KORVAWIN processo ";

// Field 22 of /proc/PID/stat: the start time; nothing when there is no such process.
std::optional<unsigned long long> avvioDi(long pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string riga;
    if (!std::getline(f, riga))
        return std::nullopt;
    // The command name, field 2, is between parentheses and may hold blanks.
    const size_t chiusa = riga.rfind(')');
    if (chiusa == std::string::npos)
        return std::nullopt;
    std::istringstream resto(riga.substr(chiusa + 1));
    std::string campo;
    for (int i = 3; i <= 22; ++i)
        if (!(resto >> campo))
            return std::nullopt;
    return std::stoull(campo);
}

}  // namespace

std::string firmaProcesso()
{
    const long pid = ::getpid();
    return std::to_string(pid) + "." + std::to_string(avvioDi(pid).value_or(0));
}

bool firmaViva(const std::string& firma)
{
    const size_t punto = firma.find('.');
    if (punto == std::string::npos)
        return false;
    try {
        SegnoProcesso s;
        s.pid = std::stol(firma.substr(0, punto));
        s.avvio = std::stoull(firma.substr(punto + 1));
        return processoVivo(s);
    } catch (const std::exception&) {
        return false;
    }
}

void scriviSegno(Env& env, const std::string& percorso, const std::string& testo)
{
    const std::string firma = firmaProcesso();
    const std::string contenuto = kIntestazione + firma.substr(0, firma.find('.')) + " " +
                                  firma.substr(firma.find('.') + 1) + "\n" + testo + "\n";
    const std::string temporaneo = percorso + ".tmp-" + firma;
    {
        auto f = env.open(temporaneo, OpenMode::CreateTruncate);
        f->writeAt(0, contenuto.data(), contenuto.size());
        f->sync();
    }
    env.rename(temporaneo, percorso);
    env.syncDir(parentDirectory(percorso));
}

std::optional<SegnoProcesso> leggiSegno(Env& env, const std::string& percorso)
{
    if (!env.exists(percorso))
        return std::nullopt;
    auto f = env.open(percorso, OpenMode::Read);
    std::string contenuto(static_cast<size_t>(f->size()), '\0');
    contenuto.resize(f->readAt(0, contenuto.data(), contenuto.size()));
    std::istringstream in(contenuto);
    std::string intestazione;
    SegnoProcesso s;
    if (!std::getline(in, intestazione) || intestazione.rfind(kIntestazione, 0) != 0 ||
        !(std::istringstream(intestazione.substr(std::string(kIntestazione).size())) >> s.pid >> s.avvio))
        throw Error("Il file " + percorso + " non è un segno di KORVAWIN: controllarlo ed eliminarlo");
    std::getline(in, s.testo);
    return s;
}

void rimuoviTemporaneiMorti(Env& env, const std::string& dir, const std::string& prefisso)
{
    std::string cartella = dir;
    if (!cartella.empty() && cartella.back() != '/')
        cartella += '/';
    std::vector<std::string> nomi;
    try {
        nomi = env.list(cartella);
    } catch (const Error&) {
        return;  // no folder to clean: the work that needs it says why
    }
    for (const std::string& nome : nomi) {
        if (nome.size() <= prefisso.size() || nome.compare(0, prefisso.size(), prefisso) != 0)
            continue;
        const std::string firma = nome.substr(prefisso.size());
        if (firma.find_first_not_of("0123456789.") == std::string::npos && !firmaViva(firma))
            env.remove(cartella + nome);
    }
}

bool processoVivo(const SegnoProcesso& segno)
{
    const auto avvio = avvioDi(segno.pid);
    return avvio && *avvio == segno.avvio;
}

}  // namespace korva
