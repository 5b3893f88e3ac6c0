#include "engines/paradox/table_hold.h"

#include "base/errore.h"
#include "engines/paradox/file_switch.h"
#include "engines/paradox/table.h"

#include <unistd.h>

#include <chrono>
#include <thread>

namespace korva::paradox {

namespace {

// How long a shared user waits for the others to leave a table with a pending switch.
constexpr std::chrono::milliseconds kSettleWait{3000};

}  // namespace

HeldTable holdTable(Env& env, const std::string& dir, const std::string& dbName, bool exclusive,
                    const std::string& display)
{
    const std::string path = dir + "/" + dbName;
    const auto dot = dbName.rfind('.');
    const std::string base = dot == std::string::npos ? dbName : dbName.substr(0, dot);
    const auto until = std::chrono::steady_clock::now() + kSettleWait;
    for (int attempt = 0;; ++attempt) {
        HeldTable h;
        try {
            h.file = env.open(path, OpenMode::ReadWrite);
        } catch (const Error&) {
            // A read-only file or medium: the table can still be read.
            h.file = env.open(path, OpenMode::Read);
            h.readOnly = true;
        }
        h.lock = std::make_unique<TableLock>(env, *h.file, dir + "/" + base + ".LCK", dbName, exclusive, display);
        // The data file may have been replaced between our open and our lock: the lock is then
        // on a file no longer there, and we start again on the new one.
        const auto now = env.identity(path);
        if (!(now && *now == h.file->identity()) && attempt < 5)
            continue;
        if (!switchPending(env, dir, base)) {
            // Nobody holds the table exclusively, so nobody builds files beside it: those that
            // stopped processes left go.
            removeOrphanTemps(env, dir, base);
            return h;
        }
        // Alone on the table for the moment, or the switch stays as it is.
        const bool alone = exclusive || (!h.readOnly && h.file->lock(kOpenByte, 1, LockType::Exclusive, false));
        if (!alone) {
            if (h.readOnly)
                throw Error("La tabella " + display + " ha una sostituzione di file interrotta che non si può "
                            "completare: i suoi file sono in sola lettura");
            if (std::chrono::steady_clock::now() >= until)
                throw TableBusy("La tabella " + display + " è in uso: un altro programma ne sta sostituendo i file");
            h.lock.reset();
            // Others meeting the switch back off as well: at different moments, so one gets it.
            std::this_thread::sleep_for(std::chrono::milliseconds(10 + (::getpid() + attempt * 7) % 30));
            continue;
        }
        completePendingSwitch(env, dir, base);
        // The switch may have put another data file in place: taken again from the start.
    }
}

}  // namespace korva::paradox
