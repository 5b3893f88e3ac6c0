// New files built beside a table and switched in with renames listed first in T.JSW. The
// journal belongs to the process that writes it: that process holds a lock on it from before
// its first byte until it is removed, so a journal whose lock can be had was left by a
// process that stopped, and only then is it completed or undone.

#include "engines/paradox/file_switch.h"

#include "base/errore.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/pager.h"
#include "engines/paradox/table.h"

#include <strings.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace korva::paradox {

namespace {

// How long a switch under way in another process is waited for: renames only.
constexpr std::chrono::milliseconds kSwitchWait{2000};

struct Switch {
    std::vector<std::string> removals;                         // old files that go
    std::vector<std::pair<std::string, std::string>> renames;  // from -> to, in order
};

std::string switchPath(const std::string& dir, const std::string& base)
{
    return dir + "/" + base + ".JSW";
}

void removeQuietly(Env& env, const std::string& path)
{
    try {
        if (env.exists(path))
            env.remove(path);
    } catch (const Error&) {
    }
}

// Whether a rename of the switch is still to be made. A new file's name (".tmp-<pid>-<n>") is
// never used twice, so while it is there its rename is pending. A table's own file (renaming a
// table) is pending only while the new name is free: the rename starts only when it is, and a
// file of the old name met later is another table that arrived since, never to be moved.
bool renamePending(Env& env, const std::string& dir, const std::string& from, const std::string& to)
{
    if (!env.exists(dir + "/" + from))
        return false;
    return from.find(".tmp-") != std::string::npos || !env.exists(dir + "/" + to);
}

void applySwitch(Env& env, const std::string& dir, const Switch& sw)
{
    for (const auto& r : sw.removals)
        if (env.exists(dir + "/" + r))
            env.remove(dir + "/" + r);
    for (const auto& [from, to] : sw.renames)
        if (renamePending(env, dir, from, to))
            env.rename(dir + "/" + from, dir + "/" + to);
    env.syncDir(dir);
}

std::string busy(const std::string& dir, const std::string& base)
{
    return "La tabella " + dir + "/" + base + " è in uso: un altro programma ne sta sostituendo i file";
}

// Records the switch, then makes it, holding the journal until it is gone. `journaled` is set
// once the journal is this process's: from then on the new files belong to it. Another
// switch under way, or one left pending, is TableBusy and nothing begins.
void runSwitch(Env& env, const std::string& dir, const std::string& base, const Switch& sw, bool& journaled,
               const std::function<void()>& beforeSwitch = {})
{
    std::string text = "KRVSWT01\n";
    for (const auto& r : sw.removals)
        text += "D\t" + r + "\n";
    for (const auto& [from, to] : sw.renames)
        text += "R\t" + from + "\t" + to + "\n";
    text += "END\t" + std::to_string(crc32(text.data(), text.size())) + "\n";
    const std::string jp = switchPath(dir, base);
    env.syncDir(dir);  // the new files' names are durable before the journal names them
    std::unique_ptr<File> journal;
    try {
        journal = env.open(jp, OpenMode::CreateNew);
    } catch (const Error&) {
        if (env.exists(jp))
            throw TableBusy(busy(dir, base));
        throw;
    }
    // Taken before anything is written. Whoever had it first, or removed the empty file
    // meanwhile, took it for a journal left behind: the switch does not begin.
    if (!journal->lock(kOpenByte, 1, LockType::Exclusive, false) || env.identity(jp) != journal->identity())
        throw TableBusy(busy(dir, base));
    if (beforeSwitch) {
        // No other switch of the table can begin now: what the caller must know still holds.
        try {
            beforeSwitch();
        } catch (...) {
            env.remove(jp);
            throw;
        }
    }
    journaled = true;
    journal->writeAt(0, text.data(), text.size());
    journal->sync();
    env.syncDir(dir);
    applySwitch(env, dir, sw);
    env.remove(jp);
}

bool digits(const std::string& s, std::size_t& at, std::size_t most)
{
    const std::size_t from = at;
    while (at < s.size() && at - from < most && std::isdigit(static_cast<unsigned char>(s[at])))
        ++at;
    return at > from && (at == s.size() || !std::isdigit(static_cast<unsigned char>(s[at])));
}

bool extension(const std::string& s)
{
    if (strcasecmp(s.c_str(), "KORVAWIN.LCK") == 0)
        return true;
    return !s.empty() && s.size() <= 3 &&
           std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::optional<long> tempOwner(const std::string& name, const std::string& base)
{
    if (name.size() <= base.size() + 1 || name[base.size()] != '.' ||
        strncasecmp(name.c_str(), base.c_str(), base.size()) != 0)
        return std::nullopt;
    const std::string rest = name.substr(base.size() + 1);
    std::size_t at = 0;
    bool family = rest.rfind("tmp-", 0) == 0;
    if (family) {
        at = 4;
    } else {
        const auto dot = rest.find(".tmp-");
        if (dot == std::string::npos || !extension(rest.substr(0, dot)))
            return std::nullopt;
        at = dot + 5;
    }
    const std::size_t pidAt = at;
    if (!digits(rest, at, 9) || at >= rest.size() || rest[at] != '-')
        return std::nullopt;
    const long pid = std::strtol(rest.c_str() + pidAt, nullptr, 10);
    ++at;
    if (!digits(rest, at, 10))
        return std::nullopt;
    if (at < rest.size() && !(family && rest[at] == '.' && extension(rest.substr(at + 1))))
        return std::nullopt;
    return pid;
}

std::string switchTempName(const std::string& final)
{
    static std::atomic<unsigned> counter{0};
    return final + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool switchPending(Env& env, const std::string& dir, const std::string& base)
{
    return env.exists(switchPath(dir, base));
}

void removeOrphanTemps(Env& env, const std::string& dir, const std::string& base)
{
    std::vector<std::string> names;
    try {
        names = env.list(dir);
    } catch (const Error&) {
        return;
    }
    for (const auto& n : names) {
        const auto pid = tempOwner(n, base);
        if (!pid || *pid <= 0 ||
            (*pid != ::getpid() && !(::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH)))
            continue;
        removeQuietly(env, dir + "/" + n);
    }
}

namespace {

// The journal's switch; `valid` when it was written whole.
Switch readJournal(const std::string& text, bool& valid, std::vector<std::string>& temps)
{
    Switch sw;
    valid = false;
    std::istringstream in(text);
    std::string line;
    std::size_t consumed = 0;
    bool first = true;
    while (std::getline(in, line)) {
        const std::size_t lineStart = consumed;
        consumed += line.size() + 1;
        if (first) {
            first = false;
            if (line != "KRVSWT01")
                break;
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream ls(line);
        std::string p;
        while (std::getline(ls, p, '\t'))
            parts.push_back(p);
        if (parts.size() == 2 && parts[0] == "D") {
            sw.removals.push_back(parts[1]);
        } else if (parts.size() == 3 && parts[0] == "R") {
            sw.renames.emplace_back(parts[1], parts[2]);
            temps.push_back(parts[1]);
        } else if (parts.size() == 2 && parts[0] == "END") {
            valid = parts[1] == std::to_string(crc32(text.data(), lineStart));
            break;
        } else {
            break;
        }
    }
    auto safe = [](const std::string& n) { return !n.empty() && n.find('/') == std::string::npos && n != ".."; };
    if (valid) {
        for (const auto& r : sw.removals)
            if (!safe(r))
                valid = false;
        for (const auto& [a, b] : sw.renames)
            if (!safe(a) || !safe(b))
                valid = false;
    }
    std::erase_if(temps, [&](const std::string& t) { return !safe(t) || t.find(".tmp-") == std::string::npos; });
    return sw;
}

}  // namespace

bool completePendingSwitch(Env& env, const std::string& dir, const std::string& base)
{
    const std::string jp = switchPath(dir, base);
    bool settled = false;
    for (int round = 0; round < 100; ++round) {
        if (!env.exists(jp)) {
            removeOrphanTemps(env, dir, base);
            return settled;
        }
        std::unique_ptr<File> journal;
        try {
            journal = env.open(jp, OpenMode::ReadWrite);
        } catch (const Error&) {
            if (!env.exists(jp))
                continue;  // its switch ended meanwhile
            throw;
        }
        if (!lockWithin(*journal, kOpenByte, LockType::Exclusive, kSwitchWait))
            throw TableBusy(busy(dir, base));
        settled = true;
        if (env.identity(jp) != journal->identity())
            continue;
        std::string text(static_cast<std::size_t>(journal->size()), '\0');
        text.resize(journal->readAt(0, text.data(), text.size()));
        bool valid = false;
        std::vector<std::string> temps;
        const Switch sw = readJournal(text, valid, temps);
        // A journal whose renames are all made outlived a switch that ended (its removal
        // failed): replaying its removals could take files that have appeared since.
        const bool pending = std::any_of(sw.renames.begin(), sw.renames.end(), [&](const auto& r) {
            return renamePending(env, dir, r.first, r.second);
        });
        if (valid && pending) {
            applySwitch(env, dir, sw);
        } else if (!valid) {
            // Stopped before the switch began: the old files are whole; the new ones go.
            for (const auto& t : temps)
                removeQuietly(env, dir + "/" + t);
        }
        env.remove(jp);
        journal.reset();
        removeOrphanTemps(env, dir, base);
        return true;
    }
    throw TableBusy(busy(dir, base));
}

FileSwitch::FileSwitch(Env& env, std::string dir, std::string base)
    : env_(env), dir_(std::move(dir)), base_(std::move(base))
{
}

FileSwitch::~FileSwitch()
{
    if (!done_)
        discard();
}

void FileSwitch::discard() noexcept
{
    open_.clear();
    try {
        // Once our journal is there the new files belong to it.
        if (journaled_ && env_.exists(switchPath(dir_, base_)))
            return;
    } catch (...) {
        return;
    }
    for (const auto& f : files_)
        removeQuietly(env_, dir_ + "/" + f.first);
}

File& FileSwitch::add(const std::string& final)
{
    files_.emplace_back(switchTempName(final), final);
    try {
        open_.push_back(env_.open(dir_ + "/" + files_.back().first, OpenMode::CreateNew));
    } catch (...) {
        files_.pop_back();
        throw;
    }
    return *open_.back();
}

void FileSwitch::add(const std::string& final, const std::vector<std::uint8_t>& data)
{
    File& f = add(final);
    if (!data.empty())
        f.writeAt(0, data.data(), data.size());
}

void FileSwitch::commit(const std::vector<std::string>& removals, const std::function<void()>& beforeSwitch)
{
    for (auto& f : open_)
        f->sync();
    open_.clear();
    Switch sw;
    sw.removals = removals;
    for (const auto& [temp, final] : files_)
        sw.renames.emplace_back(temp, final);
    runSwitch(env_, dir_, base_, sw, journaled_, beforeSwitch);
    done_ = true;
}

void replaceTableFiles(Env& env, const std::string& dir, const std::string& base,
                       const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
                       const std::vector<std::string>& removals)
{
    FileSwitch sw(env, dir, base);
    for (const auto& [final, data] : files)
        sw.add(final, data);
    sw.commit(removals);
}

void switchTableFiles(Env& env, const std::string& dir, const std::string& base,
                      const std::vector<std::pair<std::string, std::string>>& renames,
                      const std::vector<std::string>& removals)
{
    Switch sw;
    sw.renames = renames;
    sw.removals = removals;
    bool journaled = false;
    runSwitch(env, dir, base, sw, journaled);
}

}  // namespace korva::paradox
