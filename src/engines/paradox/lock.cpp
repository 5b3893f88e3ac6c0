#include "engines/paradox/lock.h"

#include "base/errore.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

namespace korva::paradox {

namespace {

std::string hostName()
{
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0)
        return "?";
    return buf;
}

std::string userName()
{
    if (const passwd* pw = getpwuid(getuid()))
        return pw->pw_name;
    return std::to_string(getuid());
}

std::string fieldOf(const std::string& line, const std::string& key)
{
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        if (word.rfind(key + "=", 0) == 0)
            return word.substr(key.size() + 1);
    return {};
}

// A line of a process of this machine that no longer runs.
bool stale(const std::string& line)
{
    if (fieldOf(line, "host") != hostName())
        return false;
    const std::string pid = fieldOf(line, "pid");
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
        return true;
    return ::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH;
}

}  // namespace

std::string lckLine(const std::string& tableFile, bool exclusive)
{
    return "KORVAWIN pid=" + std::to_string(::getpid()) + " host=" + hostName() +
           " user=" + userName() + " modo=" + (exclusive ? "esclusivo" : "condiviso") +
           " tabella=" + tableFile;
}

TableLock::TableLock(Env& env, File& db, std::string lckPath, std::string tableFile, bool exclusive,
                     const std::string& display)
    : env_(env), db_(db), lckPath_(std::move(lckPath)), line_(lckLine(tableFile, exclusive)),
      exclusive_(exclusive)
{
    if (!db_.lock(kOpenByte, 1, exclusive ? LockType::Exclusive : LockType::Shared, false)) {
        if (exclusive)
            throw TableBusy("La tabella " + display + " è in uso: impossibile aprirla in modo esclusivo");
        throw TableBusy("La tabella " + display + " è in uso esclusivo da parte di un altro utente");
    }
    updateLckFile(true);
}

TableLock::~TableLock()
{
    updateLckFile(false);
    db_.unlock(kOpenByte, 1);
}

void TableLock::updateLckFile(bool add)
{
    // Information only: a directory we cannot write in (a read-only medium) does not stop
    // anybody from reading the table.
    try {
        db_.lock(kLckByte, 1, LockType::Exclusive, true);
        std::vector<std::string> lines;
        if (env_.exists(lckPath_)) {
            std::istringstream in(readWholeFile(env_, lckPath_));
            std::string l;
            while (std::getline(in, l)) {
                if (!l.empty() && l.back() == '\r')
                    l.pop_back();
                if (!l.empty() && !stale(l))
                    lines.push_back(l);
            }
        }
        if (add) {
            lines.push_back(line_);
        } else {
            for (auto it = lines.begin(); it != lines.end(); ++it)
                if (*it == line_) {
                    lines.erase(it);
                    break;
                }
        }
        if (lines.empty()) {
            if (env_.exists(lckPath_))
                env_.remove(lckPath_);
        } else {
            std::string text;
            for (const auto& l : lines)
                text += l + "\r\n";
            // Rewritten in place under kLckByte; a line cut by a crash reads as stale.
            auto f = env_.open(lckPath_, OpenMode::CreateTruncate);
            f->writeAt(0, text.data(), text.size());
        }
    } catch (const Error&) {
    }
    db_.unlock(kLckByte, 1);
}

}  // namespace korva::paradox
