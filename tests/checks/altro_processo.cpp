#include "altro_processo.h"

#include "engines/paradox/table.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korva::test {

AltroProcesso::AltroProcesso(const std::string& dir, const std::string& tabella)
{
    int fds[2];
    if (pipe(fds) != 0)
        ADD_FAILURE() << "pipe";
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        paradox::Session s;
        paradox::Table t(s);
        t.setDatabaseName(dir);
        t.setTableName(tabella);
        t.open();
        const char pronto = 1;
        if (write(fds[1], &pronto, 1) != 1)
            _exit(2);
        for (;;)
            pause();
    }
    close(fds[1]);
    char pronto = 0;
    EXPECT_EQ(read(fds[0], &pronto, 1), 1) << "l'altro processo non ha aperto " << tabella;
    close(fds[0]);
}

AltroProcesso::~AltroProcesso()
{
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

}  // namespace korva::test
