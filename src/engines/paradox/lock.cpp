#include "engines/paradox/lock.h"

#include "base/errore.h"

#include <pwd.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
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

namespace {

bool ourLine(const std::string& line)
{
    return line.rfind("KORVAWIN ", 0) == 0;
}

// A lock file this engine wrote: text, each line one of ours. An empty one may be anybody's.
bool ourLckText(const std::string& text)
{
    if (text.empty() || text.find('\0') != std::string::npos)
        return false;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        if (!l.empty() && !ourLine(l))
            return false;
    }
    return true;
}

// One of the two files that may hold our lines: T.LCK, or beside another program's T.LCK our own.
struct LckPart {
    std::string path;
    bool exists = false;
    bool ours = false;
    std::uint64_t size = 0;
    std::vector<std::string> lines;  // ours, of running holders
    bool changed = false;

    bool writable() const { return !exists || ours; }

    void read(Env& env)
    {
        exists = env.exists(path);
        if (!exists)
            return;
        const std::string text = readWholeFile(env, path);
        size = text.size();
        ours = ourLckText(text);
        if (!ours)
            return;
        std::istringstream in(text);
        std::string l;
        while (std::getline(in, l)) {
            if (!l.empty() && l.back() == '\r')
                l.pop_back();
            if (l.empty())
                continue;
            if (stale(l))
                changed = true;
            else
                lines.push_back(l);
        }
    }

    void write(Env& env) const
    {
        if (!changed || !writable())
            return;
        if (lines.empty()) {
            if (exists)
                env.remove(path);
            return;
        }
        std::string text;
        for (const auto& l : lines)
            text += l + "\r\n";
        // Written over the old lines, blank lines filling what is left of them before the
        // file is cut: stopped at any moment, it still holds nothing but lines of ours.
        auto f = env.open(path, exists ? OpenMode::ReadWrite : OpenMode::CreateNew);
        std::string padded = text;
        if (size > padded.size())
            padded.append(static_cast<std::size_t>(size - padded.size()), '\n');
        f->writeAt(0, padded.data(), padded.size());
        f->truncate(text.size());
    }
};

}  // namespace

std::string ownLckPath(const std::string& lckPath)
{
    return lckPath.substr(0, lckPath.size() - 4) + ".KORVAWIN.LCK";
}

void TableLock::updateLckFile(bool add)
{
    // Information only: a directory we cannot write in (a read-only medium) does not stop
    // anybody from reading the table. Another program's T.LCK is never written: our lines go
    // into T.KORVAWIN.LCK beside it.
    try {
        db_.lock(kLckByte, 1, LockType::Exclusive, true);
        LckPart main, own;
        main.path = lckPath_;
        own.path = ownLckPath(lckPath_);
        main.read(env_);
        own.read(env_);
        for (LckPart* p : {&main, &own}) {
            const auto at = std::find(p->lines.begin(), p->lines.end(), line_);
            if (at != p->lines.end()) {
                p->lines.erase(at);
                p->changed = true;
            }
        }
        if (add) {
            LckPart& target = main.writable() ? main : own;
            target.lines.push_back(line_);
            target.changed = true;
        }
        main.write(env_);
        own.write(env_);
    } catch (const Error&) {
    }
    db_.unlock(kLckByte, 1);
}

void removeOwnLckFiles(Env& env, const std::string& dir, const std::string& base)
{
    for (const std::string& path : {dir + "/" + base + ".LCK", dir + "/" + base + ".KORVAWIN.LCK"}) {
        try {
            if (env.exists(path) && ourLckText(readWholeFile(env, path)))
                env.remove(path);
        } catch (const Error&) {
            // Information only: a stale one is harmless and `lck` finds it.
        }
    }
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
    std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    // T.KORVAWIN.LCK: ours, beside another program's T.LCK.
    if (base.size() > 9 && strcasecmp(base.c_str() + base.size() - 9, ".KORVAWIN") == 0)
        base.resize(base.size() - 9);
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
