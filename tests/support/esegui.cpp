#include "support/esegui.h"

#include "support/cartella_temporanea.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace korva::test {

namespace {

// The child's side: its input, outputs, environment, user and directory, then the program.
[[noreturn]] void figlio(const std::string& programma, const std::vector<std::string>& argomenti,
                         const std::string& directory, const Ambiente& ambiente, const std::string& out,
                         const std::string& err)
{
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0)
        _exit(127);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    for (const auto& v : ambiente.senza)
        unsetenv(v.c_str());
    for (const auto& [nome, valore] : ambiente.con)
        setenv(nome.c_str(), valore.c_str(), 1);
    if (ambiente.utente >= 0) {
        const auto id = static_cast<uid_t>(ambiente.utente);
        if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0)
            _exit(125);
    }
    if (!directory.empty() && chdir(directory.c_str()) != 0)
        _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(programma.c_str()));
    for (const auto& a : argomenti)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(programma.c_str(), argv.data());
    _exit(127);
}

Esito eseguiDa(std::string programma, const std::vector<std::string>& argomenti, const std::string& directory,
               const Ambiente& ambiente)
{
    CartellaTemporanea uscite;
    if (ambiente.utente >= 0) {
        // Another user may not reach the build folder (a checkout under /root): the program
        // runs from a copy that everyone can read and run.
        chmod(uscite.percorso().c_str(), 0755);
        const std::string copia = uscite / "korva";
        std::filesystem::copy_file(programma, copia);
        chmod(copia.c_str(), 0755);
        programma = copia;
    }
    const std::string out = uscite / "out";
    const std::string err = uscite / "err";

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork fallita");
    if (pid == 0)
        figlio(programma, argomenti, directory, ambiente, out, err);
    int status = 0;
    waitpid(pid, &status, 0);
    Esito esito;
    esito.codice = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    esito.out = leggiFile(out);
    esito.err = leggiFile(err);
    return esito;
}

}  // namespace

Esito eseguiKorva(const std::vector<std::string>& argomenti, const std::string& directory,
                  const Ambiente& ambiente)
{
    return eseguiDa(std::string(KORVA_BIN_DIR) + "/korva", argomenti, directory, ambiente);
}

int avviaKorva(const std::vector<std::string>& argomenti, const std::string& directory, const Ambiente& ambiente)
{
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork fallita");
    if (pid == 0)
        figlio(std::string(KORVA_BIN_DIR) + "/korva", argomenti, directory, ambiente, "/dev/null", "/dev/null");
    return pid;
}

Esito esegui(const std::string& programma, const std::vector<std::string>& argomenti)
{
    return eseguiDa(programma, argomenti, {}, {});
}

std::string testoPdf(const std::string& percorso)
{
    const Esito e = esegui("pdftotext", {"-layout", "-enc", "UTF-8", percorso, "-"});
    EXPECT_EQ(e.codice, 0) << "pdftotext (poppler-utils) non ha letto " << percorso << ": " << e.err;
    return e.out;
}

}  // namespace korva::test
