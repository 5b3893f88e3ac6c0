#include "base/mem_env.h"

#include "base/errore.h"

#include <algorithm>
#include <cstring>

namespace korva {
namespace {

class MemFile : public File {
public:
    MemFile(std::shared_ptr<MemEnv::Node> node, std::string path, bool writable)
        : node_(std::move(node)), path_(std::move(path)), writable_(writable)
    {
    }

    size_t readAt(std::uint64_t offset, void* buf, size_t n) override
    {
        const auto& d = node_->data;
        if (offset >= d.size())
            return 0;
        const size_t got = std::min<size_t>(n, d.size() - offset);
        std::memcpy(buf, d.data() + offset, got);
        return got;
    }

    void writeAt(std::uint64_t offset, const void* buf, size_t n) override
    {
        if (!writable_)
            throw Error("Impossibile scrivere il file " + path_ + ": aperto in sola lettura");
        auto& d = node_->data;
        if (offset + n > d.size())
            d.resize(offset + n);
        std::memcpy(d.data() + offset, buf, n);
    }

    std::uint64_t size() override { return node_->data.size(); }

    void truncate(std::uint64_t size) override
    {
        if (!writable_)
            throw Error("Impossibile accorciare il file " + path_ + ": aperto in sola lettura");
        node_->data.resize(size);
    }

    void sync() override {}
    const std::string& path() const override { return path_; }
    FileIdentity identity() override { return {0, node_->inode}; }
    bool lock(std::uint64_t, std::uint64_t, LockType, bool) override { return true; }
    void unlock(std::uint64_t, std::uint64_t) override {}
    bool lockedByOthers(std::uint64_t, std::uint64_t, LockType) override { return false; }

private:
    std::shared_ptr<MemEnv::Node> node_;
    std::string path_;
    bool writable_;
};

std::string dirOf(const std::string& path)
{
    return parentDirectory(path);
}

}  // namespace

MemEnv::MemEnv()
{
    dirs_.insert(".");
    dirs_.insert("/");
}

std::shared_ptr<MemEnv::Node> MemEnv::make()
{
    auto n = std::make_shared<Node>();
    n->inode = nextInode_++;
    return n;
}

void MemEnv::put(const std::string& path, std::string_view bytes)
{
    auto n = make();
    n->data.assign(bytes.begin(), bytes.end());
    files_[path] = std::move(n);
}

std::unique_ptr<File> MemEnv::open(const std::string& path, OpenMode mode)
{
    auto it = files_.find(path);
    switch (mode) {
    case OpenMode::Read:
    case OpenMode::ReadWrite:
        if (it == files_.end())
            throw Error("Impossibile aprire il file " + path + ": file inesistente");
        return std::make_unique<MemFile>(it->second, path, mode == OpenMode::ReadWrite);
    case OpenMode::CreateNew:
        if (it != files_.end())
            throw Error("Impossibile creare il file " + path + ": il file esiste già");
        [[fallthrough]];
    case OpenMode::CreateTruncate:
        if (!dirs_.count(dirOf(path)))
            throw Error("Impossibile creare il file " + path + ": directory inesistente");
        if (it == files_.end())
            it = files_.emplace(path, make()).first;
        it->second->data.clear();
        return std::make_unique<MemFile>(it->second, path, true);
    }
    throw Error("Modo di apertura sconosciuto per " + path);
}

void MemEnv::rename(const std::string& from, const std::string& to)
{
    auto it = files_.find(from);
    if (it == files_.end())
        throw Error("Impossibile rinominare il file " + from + ": file inesistente");
    auto node = it->second;
    files_.erase(it);
    files_[to] = std::move(node);
}

void MemEnv::remove(const std::string& path)
{
    if (files_.erase(path) == 0)
        throw Error("Impossibile eliminare il file " + path + ": file inesistente");
}

bool MemEnv::exists(const std::string& path)
{
    return files_.count(path) > 0 || dirs_.count(path) > 0;
}

std::optional<FileIdentity> MemEnv::identity(const std::string& path)
{
    auto it = files_.find(path);
    if (it == files_.end())
        return std::nullopt;
    return FileIdentity{0, it->second->inode};
}

std::vector<std::string> MemEnv::list(const std::string& dir)
{
    if (!dirs_.count(dir))
        throw Error("Impossibile leggere la directory " + dir + ": directory inesistente");
    std::vector<std::string> names;
    for (const auto& [path, node] : files_)
        if (dirOf(path) == dir)
            names.push_back(path.substr(dir == "/" ? 1 : dir.size() + 1));
    return names;
}

void MemEnv::createDir(const std::string& path)
{
    if (!dirs_.insert(path).second)
        throw Error("Impossibile creare la directory " + path + ": esiste già");
}

}  // namespace korva
