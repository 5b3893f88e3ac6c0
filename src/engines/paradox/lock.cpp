#include "engines/paradox/lock.h"

#include "base/errore.h"

#include <pwd.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <thread>
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

// A process of this machine that no longer runs (one of another machine cannot be told).
bool gone(const std::string& host, const std::string& pid)
{
    if (host != hostName())
        return false;
    if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
        return true;
    return ::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH;
}

// A line of a process of this machine that no longer runs.
bool stale(const std::string& line)
{
    return gone(fieldOf(line, "host"), fieldOf(line, "pid"));
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

bool lockWithin(File& f, std::uint64_t offset, LockType type, std::chrono::milliseconds within)
{
    const auto end = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (f.lock(offset, 1, type, false))
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string LckHolder::describe() const
{
    std::string t = program + " pid " + pid + " sul computer " + host;
    if (!user.empty())
        t += ", utente " + user;
    if (!mode.empty())
        t += ", " + mode;
    return t;
}

std::string LckStatus::describe() const
{
    std::string t = "in uso";
    for (std::size_t i = 0; i < holders.size(); ++i)
        t += (i ? "; " : " da ") + holders[i].describe();
    return t;
}

namespace {

constexpr std::chrono::milliseconds kLckWait{2000};

struct LckContent {
    bool ours = false;
    std::vector<LckHolder> holders;
    std::string table;  // the .DB file beside it, as found; empty when there is none
};

LckContent readLck(Env& env, const std::string& path)
{
    LckContent c;
    const std::string text = readWholeFile(env, path);
    if (text.find('\0') != std::string::npos)
        return c;
    std::istringstream in(text);
    std::string line;
    c.ours = true;
    std::string named;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.rfind("KORVAWIN ", 0) != 0) {
            c.ours = false;
            return c;
        }
        LckHolder h{"KORVAWIN",          fieldOf(line, "pid"),  fieldOf(line, "host"),
                    fieldOf(line, "user"), fieldOf(line, "modo"), fieldOf(line, "tabella")};
        if (named.empty())
            named = h.table;
        c.holders.push_back(std::move(h));
    }
    const std::string dir = parentDirectory(path);
    const std::string file = path.substr(path.rfind('/') + 1);
    const auto dot = file.rfind('.');
    const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    std::vector<std::string> candidates;
    if (!named.empty() && named.find('/') == std::string::npos)
        candidates.push_back(named);
    candidates.push_back(base + ".DB");
    const std::vector<std::string> entries = env.list(dir);
    for (const auto& want : candidates)
        for (const auto& e : entries)
            if (strcasecmp(e.c_str(), want.c_str()) == 0) {
                c.table = e;
                return c;
            }
    // An empty file beside no table says nothing of whose it is.
    if (c.holders.empty())
        c.ours = false;
    return c;
}

struct OpenTable {
    std::unique_ptr<File> db;
    bool writable = true;
};

OpenTable openTable(Env& env, const std::string& path)
{
    OpenTable t;
    try {
        t.db = env.open(path, OpenMode::ReadWrite);
    } catch (const Error&) {
        t.db = env.open(path, OpenMode::Read);
        t.writable = false;
    }
    return t;
}

// Whether someone has the table open: a lock on its open byte, only looked at, so that a
// program opening the table at that moment is not turned away.
bool inUse(OpenTable& t)
{
    return t.db->lockedByOthers(kOpenByte, 1, LockType::Exclusive);
}

LckStatus statusOf(LckContent& c, bool used)
{
    LckStatus s;
    s.state = used ? LckState::InUse : LckState::Stale;
    if (used) {
        for (const auto& h : c.holders)
            if (!gone(h.host, h.pid))
                s.holders.push_back(h);
    }
    if (s.holders.empty())
        s.holders = c.holders;
    return s;
}

}  // namespace

LckStatus examineLckFile(Env& env, const std::string& path)
{
    LckContent c = readLck(env, path);
    if (!c.ours)
        return {};
    if (c.table.empty())
        return statusOf(c, false);
    // Only looked at: read access is enough, and the file is never opened for writing.
    OpenTable t{env.open(parentDirectory(path) + "/" + c.table, OpenMode::Read), false};
    return statusOf(c, inUse(t));
}

void removeLckFile(Env& env, const std::string& path)
{
    LckContent c = readLck(env, path);
    if (!c.ours || c.table.empty()) {
        env.remove(path);
        return;
    }
    OpenTable t = openTable(env, parentDirectory(path) + "/" + c.table);
    // Holders rewrite the file under kLckByte: none does while we hold it.
    const bool guarded = t.writable && lockWithin(*t.db, kLckByte, LockType::Exclusive, kLckWait);
    try {
        if (inUse(t))
            throw Error("Il file è " + statusOf(c, true).describe() + ".");
        env.remove(path);
    } catch (...) {
        if (guarded)
            t.db->unlock(kLckByte, 1);
        throw;
    }
    if (guarded)
        t.db->unlock(kLckByte, 1);
}

}  // namespace korva::paradox
