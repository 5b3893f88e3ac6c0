#include "support/env_guasti.h"

#include "base/errore.h"

namespace korva::test {
namespace {

class FileGuasti : public File {
public:
    FileGuasti(std::unique_ptr<File> base, EnvGuasti& env) : base_(std::move(base)), env_(env) {}

    size_t readAt(std::uint64_t offset, void* buf, size_t n) override
    {
        return base_->readAt(offset, buf, n);
    }
    void writeAt(std::uint64_t offset, const void* buf, size_t n) override
    {
        if (env_.passo("scrittura di " + base_->path(), true)) {
            base_->writeAt(offset, buf, n / 2);
            throw Error("Scrittura interrotta (guasto simulato) su " + base_->path());
        }
        base_->writeAt(offset, buf, n);
    }
    std::uint64_t size() override { return base_->size(); }
    void truncate(std::uint64_t size) override
    {
        env_.passo("troncamento di " + base_->path(), false);
        base_->truncate(size);
    }
    void sync() override
    {
        env_.passo("sync di " + base_->path(), false);
        base_->sync();
    }
    const std::string& path() const override { return base_->path(); }
    FileIdentity identity() override { return base_->identity(); }
    bool lock(std::uint64_t offset, std::uint64_t length, LockType type, bool wait) override
    {
        env_.bloccoPreso();
        return base_->lock(offset, length, type, wait);
    }
    void unlock(std::uint64_t offset, std::uint64_t length) override
    {
        base_->unlock(offset, length);
    }
    bool lockedByOthers(std::uint64_t offset, std::uint64_t length, LockType type) override
    {
        return base_->lockedByOthers(offset, length, type);
    }

private:
    std::unique_ptr<File> base_;
    EnvGuasti& env_;
};

}  // namespace

void EnvGuasti::guastaAl(std::int64_t n, Guasto g, bool bloccaDopo)
{
    operazioni_ = 0;
    bersaglio_ = n;
    guasto_ = g;
    bloccaDopo_ = bloccaDopo;
    avvenuto_ = false;
}

bool EnvGuasti::passo(const std::string& cosa, bool scrittura)
{
    ++operazioni_;
    const bool tocca = bersaglio_ > 0 && (operazioni_ == bersaglio_ ||
                                          (bloccaDopo_ && operazioni_ > bersaglio_));
    if (!tocca)
        return false;
    avvenuto_ = true;
    if (guasto_ == Guasto::ScritturaCorta && scrittura && operazioni_ == bersaglio_)
        return true;
    if (guasto_ == Guasto::DiscoPieno)
        throw Error("Impossibile completare " + cosa + ": spazio su disco esaurito (guasto simulato)");
    throw Error("Impossibile completare " + cosa + ": errore di I/O (guasto simulato)");
}

std::unique_ptr<File> EnvGuasti::open(const std::string& path, OpenMode mode)
{
    if (mode == OpenMode::CreateNew || mode == OpenMode::CreateTruncate)
        passo("creazione di " + path, false);
    return std::make_unique<FileGuasti>(base_.open(path, mode), *this);
}

void EnvGuasti::rename(const std::string& from, const std::string& to)
{
    passo("rinomina di " + from, false);
    base_.rename(from, to);
}

void EnvGuasti::remove(const std::string& path)
{
    passo("eliminazione di " + path, false);
    base_.remove(path);
}

void EnvGuasti::createDir(const std::string& path)
{
    passo("creazione della directory " + path, false);
    base_.createDir(path);
}

void EnvGuasti::syncDir(const std::string& dir)
{
    passo("sync della directory " + dir, false);
    base_.syncDir(dir);
}

}  // namespace korva::test
