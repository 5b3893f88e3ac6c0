#include "engines/paradox/new_family.h"

#include "base/errore.h"
#include "engines/paradox/lock.h"
#include "engines/paradox/table.h"

#include <unistd.h>

#include <atomic>

namespace korva::paradox {

std::string extensionOf(const std::string& name)
{
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

NewFamily::NewFamily(Env& env, std::string dir, const std::string& base)
    : env_(env), dir_(std::move(dir)), table_(base)
{
    static std::atomic<unsigned> counter{0};
    base_ = base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

NewFamily::~NewFamily()
{
    if (!kept_)
        for (const auto& f : files_)
            remove(f);
    // What the table object opened on the family may have left.
    remove(base_ + ".JNL");
    removeOwnLckFiles(env_, dir_, base_);
}

std::string NewFamily::write(const std::string& extension, const std::vector<std::uint8_t>& data)
{
    const std::string name = base_ + extension;
    auto f = env_.open(dir_ + "/" + name, OpenMode::CreateNew);
    files_.push_back(name);
    if (!data.empty())
        f->writeAt(0, data.data(), data.size());
    f->sync();
    return name;
}

void NewFamily::switchIn(const std::vector<std::pair<std::string, std::string>>& renames,
                         const std::vector<std::string>& removals)
{
    try {
        switchTableFiles(env_, dir_, table_, renames, removals);
    } catch (const TableBusy&) {
        throw;  // another switch's journal: ours never began
    } catch (...) {
        // Once its journal is written the switch belongs to the next use of the table.
        if (env_.exists(dir_ + "/" + table_ + ".JSW"))
            kept_ = true;
        throw;
    }
    kept_ = true;
}

void NewFamily::remove(const std::string& name)
{
    try {
        if (env_.exists(dir_ + "/" + name))
            env_.remove(dir_ + "/" + name);
    } catch (const Error&) {
        // Named ".tmp-<pid>-<n>": the next use of the table removes what is left.
    }
}

}  // namespace korva::paradox
