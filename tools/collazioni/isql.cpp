#include "isql.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korva::collazioni {

namespace {

namespace fs = std::filesystem;

std::string leggi(const std::string& percorso)
{
    std::ifstream in(percorso, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// isql-fb with these arguments; its exit status, its output and its messages.
int lancia(const std::vector<std::string>& argomenti, const std::string& cartella, std::string& out, std::string& err)
{
    const std::string fileOut = cartella + "/out", fileErr = cartella + "/err";
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork non riuscita");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(fileOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(fileErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || o < 0 || e < 0)
            _exit(127);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        // The embedded engine's lock files go into the scratch folder unless told otherwise.
        const char* lock = std::getenv("FIREBIRD_LOCK");
        if (!lock || !*lock)
            setenv("FIREBIRD_LOCK", (cartella + "/lock").c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("isql-fb"));
        for (const auto& a : argomenti)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp("isql-fb", argv.data());
        _exit(127);
    }
    int stato = 0;
    waitpid(pid, &stato, 0);
    out = leggi(fileOut);
    err = leggi(fileErr);
    return WIFEXITED(stato) ? WEXITSTATUS(stato) : 128;
}

}  // namespace

bool Isql::disponibile()
{
    const char* path = std::getenv("PATH");
    std::istringstream cartelle(path ? path : "");
    for (std::string c; std::getline(cartelle, c, ':');)
        if (!c.empty() && access((c + "/isql-fb").c_str(), X_OK) == 0)
            return true;
    return false;
}

Isql::Isql()
{
    std::string modello = (fs::temp_directory_path() / "korva-collazioni-XXXXXX").string();
    if (!mkdtemp(modello.data()))
        throw std::runtime_error("impossibile creare una cartella temporanea");
    cartella_ = modello;
    fs::create_directory(cartella_ + "/lock");
    database_ = cartella_ + "/misure.fdb";
    std::ofstream(cartella_ + "/crea.sql") << "CREATE DATABASE '" << database_
                                            << "' USER 'SYSDBA' PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE;\n";
    std::string out, err;
    if (lancia({"-q", "-b", "-i", cartella_ + "/crea.sql"}, cartella_, out, err) != 0) {
        fs::remove_all(cartella_);
        throw std::runtime_error("isql-fb non crea il database di prova: " + err);
    }
}

Isql::~Isql()
{
    std::error_code ignorato;
    fs::remove_all(cartella_, ignorato);
}

std::vector<std::vector<long>> Isql::esegui(const std::string& script)
{
    const std::string file = cartella_ + "/script.sql";
    std::ofstream(file, std::ios::binary) << "CONNECT '" << database_ << "' USER 'SYSDBA';\nSET HEADING OFF;\n"
                                          << script;
    std::string out, err;
    if (lancia({"-q", "-b", "-i", file}, cartella_, out, err) != 0 || !err.empty())
        throw std::runtime_error("isql-fb: " + (err.empty() ? std::string("uscita con errore") : err));
    std::vector<std::vector<long>> righe;
    std::istringstream linee(out);
    for (std::string linea; std::getline(linee, linea);) {
        std::istringstream parole(linea);
        std::vector<long> riga;
        for (std::string p; parole >> p;) {
            long v = 0;
            const auto [fine, errore] = std::from_chars(p.data(), p.data() + p.size(), v);
            if (errore != std::errc() || fine != p.data() + p.size())
                throw std::runtime_error("isql-fb: riga inattesa: " + linea);
            riga.push_back(v);
        }
        if (!riga.empty())
            righe.push_back(std::move(riga));
    }
    return righe;
}

}  // namespace korva::collazioni
