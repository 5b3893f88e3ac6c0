#include "engines/interbase/client.h"

#include "base/codepage.h"
#include "base/errno_it.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>

// LeakSanitizer's check, present in sanitizer builds only.
extern "C" __attribute__((weak)) void __lsan_do_leak_check();

namespace korva::ib {

Error::Error(const std::string& testo, std::vector<std::intptr_t> codici,
             std::optional<int> erroreSistema, bool sistemaWindows,
             std::vector<std::string> testiSistema)
    : korva::Error(testo),
      codici_(std::move(codici)),
      erroreSistema_(erroreSistema),
      sistemaWindows_(sistemaWindows),
      testiSistema_(std::move(testiSistema))
{
}

bool Error::haCodice(std::intptr_t codice) const
{
    return std::find(codici_.begin(), codici_.end(), codice) != codici_.end();
}

bool Error::bloccoAltrui() const
{
    for (std::intptr_t c : {isc_lock_conflict, isc_lock_timeout, isc_deadlock, isc_update_conflict, isc_obj_in_use})
        if (haCodice(c))
            return true;
    return false;
}

bool Error::indiceNonCreabile() const
{
    return haCodice(isc_no_meta_update) && haCodice(isc_idx_create_err);
}

bool Error::fileInesistente() const
{
    if (!haCodice(isc_io_error) || !haCodice(isc_io_open_err))
        return false;
    if (erroreSistema_) {
        // Windows: "file not found" (2) or "path not found" (3).
        if (sistemaWindows_)
            return *erroreSistema_ == 2 || *erroreSistema_ == 3;
        return *erroreSistema_ == ENOENT;
    }
    static const char* const kTesti[] = {
        "No such file or directory",
        "The system cannot find the file specified",
        "The system cannot find the path specified",
        "Impossibile trovare il file specificato",
        "Impossibile trovare il percorso specificato",
    };
    for (const std::string& t : testiSistema_)
        for (const char* k : kTesti)
            if (t.find(k) != std::string::npos)
                return true;
    return false;
}

namespace detail {
namespace {

// The lock directory must be ours: a directory we own, not a link someone else placed.
void preparaDirectoryLock(const std::string& dir)
{
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw ib::Error("Impossibile creare la directory dei lock di Firebird " + dir + ": " +
                        descriviErrno(errno));
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        throw ib::Error("La directory dei lock di Firebird " + dir +
                        " non è una directory dell'utente corrente");
}

Firebird::IMaster* inizializza()
{
    const char* lock = std::getenv("FIREBIRD_LOCK");
    if (!lock || !*lock) {
        const std::string dir = directoryLockPredefinita();
        preparaDirectoryLock(dir);
        setenv("FIREBIRD_LOCK", dir.c_str(), 1);
    }
    return Firebird::fb_get_master_interface();
}

bool utf8Valido(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

}  // namespace

std::string directoryLockPredefinita()
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) {
        struct stat st {};
        if (stat(run, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid())
            return std::string(run) + "/firebird";
    }
    return "/tmp/firebird-" + std::to_string(geteuid());
}

Firebird::IMaster* master()
{
    static std::once_flag fatto;
    static Firebird::IMaster* m = nullptr;
    static std::string problema;
    std::call_once(fatto, [] {
        try {
            m = inizializza();
        } catch (const korva::Error& e) {
            problema = e.what();
        }
    });
    if (!m)
        throw ib::Error(problema);
    return m;
}

namespace {

int cercaMotore(struct dl_phdr_info* info, size_t, void* trovato)
{
    if (info->dlpi_name && std::strstr(info->dlpi_name, "libEngine12"))
        *static_cast<std::string*>(trovato) = info->dlpi_name;
    return 0;
}

// The path of the in-process engine once it is loaded, else empty.
std::string motoreCaricato()
{
    std::string percorso;
    dl_iterate_phdr(cercaMotore, &percorso);
    return percorso;
}

void spegniClient()
{
    fb_shutdown(0, fb_shutrsn_app_stopped);
}

// The engine's shutdown stops what it knows of, but a service's thread may still be ending
// (tried: after a failed backup, about one exit in five on a busy machine): unloading the
// engine then destroys what that thread still uses. The engine stays loaded (see
// motoreInUso), is shut down, and the process ends at once, before the engine's own static
// objects are destroyed under that thread.
void spegniEdEsci(int stato, void*)
{
    std::fflush(nullptr);
    fb_shutdown(0, fb_shutrsn_app_stopped);
    if (__lsan_do_leak_check)
        __lsan_do_leak_check();
    std::fflush(nullptr);
    _exit(stato);
}

}  // namespace

void motoreInUso()
{
    // The client runs threads of its own from its first use, the in-process engine more
    // (a service's job may still be ending when the service is detached); they must stop
    // before the static objects they use are destroyed at exit. Until the engine is loaded
    // a plain shutdown at exit stops the client's; once it is, the handler registered then
    // runs before the engine's own destructors (registered when it was loaded) and ends the
    // process there.
    static bool clientRegistrato = false;
    static bool motoreRegistrato = false;
    if (motoreRegistrato)
        return;
    const std::string motore = motoreCaricato();
    if (motore.empty()) {
        if (!clientRegistrato)
            std::atexit(spegniClient);
        clientRegistrato = true;
        return;
    }
    // Never unloaded: the shutdown at exit would otherwise destroy the engine's objects.
    dlopen(motore.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    on_exit(spegniEdEsci, nullptr);
    motoreRegistrato = true;
}

Firebird::IUtil* util()
{
    return master()->getUtilInterface();
}

Firebird::IProvider* provider()
{
    // The dispatcher routes a name without host to the in-process engine and host:path to
    // a server. One for the whole process, never released.
    static Firebird::IProvider* p = master()->getDispatcher();
    return p;
}

ib::Error errore(const Firebird::IStatus* status, std::string_view contesto)
{
    std::string buf(8192, '\0');
    const unsigned n = util()->formatStatus(buf.data(), static_cast<unsigned>(buf.size()),
                                            const_cast<Firebird::IStatus*>(status));
    buf.resize(std::min<size_t>(n, buf.size()));
    while (!buf.empty() && (buf.back() == '\n' || buf.back() == '\0'))
        buf.pop_back();
    // The messages are ASCII apart from names and file paths, which arrive in the
    // connection's character set or, from the operating system, in UTF-8.
    std::string testo = testoDaMessaggio(buf);
    if (!contesto.empty())
        testo = std::string(contesto) + testo;

    std::vector<std::intptr_t> codici;
    std::optional<int> sistema;
    bool windows = false;
    std::vector<std::string> testiSistema;
    const std::intptr_t* v = const_cast<Firebird::IStatus*>(status)->getErrors();
    while (v && *v != isc_arg_end) {
        const std::intptr_t tipo = *v++;
        switch (tipo) {
        case isc_arg_gds:
            codici.push_back(*v++);
            break;
        case isc_arg_unix:
            sistema = static_cast<int>(*v++);
            windows = false;
            break;
        case isc_arg_win32:
            sistema = static_cast<int>(*v++);
            windows = true;
            break;
        case isc_arg_interpreted:
            testiSistema.emplace_back(reinterpret_cast<const char*>(*v++));
            break;
        case isc_arg_cstring:
            v += 2;
            break;
        default:
            ++v;
            break;
        }
    }
    return ib::Error(testo, std::move(codici), sistema, windows, std::move(testiSistema));
}

Blocco::Blocco(unsigned tipo)
{
    Stato st;
    b_ = chiama([&] { return util()->getXpbBuilder(&st, tipo, nullptr, 0); });
}

Blocco::~Blocco()
{
    if (b_)
        b_->dispose();
}

void Blocco::tag(unsigned char t)
{
    Stato st;
    chiama([&] { b_->insertTag(&st, t); });
}

void Blocco::intero(unsigned char t, int valore)
{
    Stato st;
    chiama([&] { b_->insertInt(&st, t, valore); });
}

void Blocco::ottetto(unsigned char t, unsigned char valore)
{
    Stato st;
    chiama([&] { b_->insertBytes(&st, t, &valore, 1); });
}

void Blocco::testo(unsigned char t, const std::string& valore)
{
    Stato st;
    chiama([&] { b_->insertString(&st, t, valore.c_str()); });
}

unsigned Blocco::lunghezza()
{
    Stato st;
    return chiama([&] { return b_->getBufferLength(&st); });
}

const unsigned char* Blocco::dati()
{
    Stato st;
    return chiama([&] { return b_->getBuffer(&st); });
}

std::string testoDaMessaggio(std::string_view byte)
{
    return utf8Valido(byte) ? std::string(byte) : codepage::toUtf8(byte, codepage::kWindowsWestern);
}

std::string daConnessione(std::string_view byte)
{
    return codepage::toUtf8(byte, codepage::kWindowsWestern);
}

std::string versoConnessione(std::string_view testo)
{
    // Pure ASCII, the usual case for statements, needs no conversion.
    if (std::all_of(testo.begin(), testo.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(testo);
    return codepage::fromUtf8(testo, codepage::kWindowsWestern);
}

std::pair<std::string, std::string> dividiParametro(std::string_view riga)
{
    const size_t uguale = riga.find('=');
    auto pulisci = [](std::string_view s) {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
            s.remove_prefix(1);
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
            s.remove_suffix(1);
        return std::string(s);
    };
    std::string nome = pulisci(riga.substr(0, uguale));
    std::transform(nome.begin(), nome.end(), nome.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string valore = uguale == std::string_view::npos ? std::string() : std::string(riga.substr(uguale + 1));
    return {nome, valore};
}

Credenziali credenziali(const std::vector<std::string>& righe)
{
    Credenziali c;
    for (const std::string& riga : righe) {
        auto [nome, valore] = dividiParametro(riga);
        if (nome == "user_name")
            c.utente = valore;
        else if (nome == "password")
            c.password = valore;
        else if (nome == "sql_role_name")
            c.ruolo = valore;
        else if (nome == "lc_ctype") {
            std::string maiuscolo = valore;
            for (char& ch : maiuscolo)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (maiuscolo != kCharsetConnessione)
                throw ib::Error("Set di caratteri di connessione non gestito: " + valore +
                                " (solo WIN1252)");
        } else if (!nome.empty())
            throw ib::Error("Parametro di connessione sconosciuto: \"" + riga + "\"");
    }
    return c;
}

}  // namespace detail
}  // namespace korva::ib

// The Firebird client library, its engine and the libraries they load keep allocations of
// their own until the process ends; in a build with LeakSanitizer they are not ours to
// report. (The sanitizer calls this when present; other builds never do.) Weak, so that a
// program with more such libraries can give the whole list.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions()
{
    return KORVA_SOPPRESSIONI_PERDITE_CLIENT;
}

// Shutting the engine down at exit unloads its plugins, whose thread-local storage
// LeakSanitizer would then read at its final check and crash on; the check goes without
// scanning thread-local storage. The list of suppressions used is not printed: it would end up
// in the standard error of the command line, which its tests compare.
extern "C" const char* __lsan_default_options()
{
    return "use_tls=0:print_suppressions=0";
}
