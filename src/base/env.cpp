#include "base/env.h"

#include "base/errno_it.h"
#include "base/errore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <cerrno>

namespace korva {
namespace {

[[noreturn]] void fail(const std::string& action, const std::string& path, int err)
{
    throw Error("Impossibile " + action + " il file " + path + ": " + descriviErrno(err));
}

class PosixFile : public File {
public:
    PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFile() override { ::close(fd_); }

    size_t readAt(std::uint64_t offset, void* buf, size_t n) override
    {
        size_t done = 0;
        auto* p = static_cast<char*>(buf);
        while (done < n) {
            ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                fail("leggere", path_, errno);
            }
            if (r == 0)
                break;
            done += static_cast<size_t>(r);
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* buf, size_t n) override
    {
        size_t done = 0;
        const auto* p = static_cast<const char*>(buf);
        while (done < n) {
            ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                fail("scrivere", path_, errno);
            }
            done += static_cast<size_t>(r);
        }
    }

    std::uint64_t size() override
    {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            fail("leggere", path_, errno);
        return static_cast<std::uint64_t>(st.st_size);
    }

    void truncate(std::uint64_t size) override
    {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            fail("accorciare", path_, errno);
    }

    void sync() override
    {
        if (::fdatasync(fd_) != 0)
            fail("scrivere su disco", path_, errno);
    }

    const std::string& path() const override { return path_; }

    FileIdentity identity() override
    {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            fail("leggere", path_, errno);
        return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    bool lock(std::uint64_t offset, std::uint64_t length, LockType type, bool wait) override
    {
        struct flock fl {};
        fl.l_type = type == LockType::Shared ? F_RDLCK : F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        for (;;) {
            if (::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (!wait && (errno == EAGAIN || errno == EACCES))
                return false;
            fail("bloccare", path_, errno);
        }
    }

    void unlock(std::uint64_t offset, std::uint64_t length) override
    {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0 && errno == EINTR) {
        }
    }

private:
    int fd_;
    std::string path_;
};

class PosixEnv : public Env {
public:
    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override
    {
        int flags = O_CLOEXEC;
        switch (mode) {
        case OpenMode::Read: flags |= O_RDONLY; break;
        case OpenMode::ReadWrite: flags |= O_RDWR; break;
        case OpenMode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
        }
        int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0)
            fail(mode == OpenMode::Read || mode == OpenMode::ReadWrite ? "aprire" : "creare",
                 path, errno);
        return std::make_unique<PosixFile>(fd, path);
    }

    void rename(const std::string& from, const std::string& to) override
    {
        if (::rename(from.c_str(), to.c_str()) != 0)
            throw Error("Impossibile rinominare il file " + from + " in " + to + ": " +
                        descriviErrno(errno));
    }

    void remove(const std::string& path) override
    {
        if (::unlink(path.c_str()) != 0)
            fail("eliminare", path, errno);
    }

    bool exists(const std::string& path) override
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    std::optional<FileIdentity> identity(const std::string& path) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                            static_cast<std::uint64_t>(st.st_ino)};
    }

    std::vector<std::string> list(const std::string& dir) override
    {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d)
            throw Error("Impossibile leggere la directory " + dir + ": " + descriviErrno(errno));
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(std::move(name));
        }
        ::closedir(d);
        return names;
    }

    void createDir(const std::string& path) override
    {
        if (::mkdir(path.c_str(), 0777) != 0)
            throw Error("Impossibile creare la directory " + path + ": " + descriviErrno(errno));
    }

    void syncDir(const std::string& dir) override
    {
        int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            throw Error("Impossibile aprire la directory " + dir + ": " + descriviErrno(errno));
        int r = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (r != 0)
            throw Error("Impossibile scrivere su disco la directory " + dir + ": " +
                        descriviErrno(err));
    }
};

}  // namespace

Env& Env::standard()
{
    static PosixEnv env;
    return env;
}

std::string readWholeFile(Env& env, const std::string& path)
{
    auto file = env.open(path, OpenMode::Read);
    std::string contents(file->size(), '\0');
    contents.resize(file->readAt(0, contents.data(), contents.size()));
    return contents;
}

std::string parentDirectory(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

namespace {

// The file at the end of a chain of symbolic links; the path itself when it is no link.
std::string fileDelCollegamento(const std::string& path)
{
    namespace fs = std::filesystem;
    std::string p = path;
    // The system's own limit on the links followed while resolving one path.
    for (int salti = 0; salti < 40; ++salti) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)))
            return p;
        const std::string meta = fs::read_symlink(p, ec).string();
        if (ec || meta.empty())
            throw Error("Impossibile leggere il collegamento " + p + ": " + descriviErrno(ec.value()));
        p = meta.front() == '/' ? meta : parentDirectory(p) + "/" + meta;
    }
    throw Error("Impossibile seguire il collegamento " + path + ": " + descriviErrno(ELOOP));
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(Env& env, std::string path)
    : env_(env), path_(fileDelCollegamento(path))
{
    static std::atomic<unsigned> counter{0};
    temp_ = path_ + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    file_ = env_.open(temp_, OpenMode::CreateNew);
    // The replacement keeps the mode and owner of the file it replaces: a shared file made
    // group-writable must stay so for the other users. Changing the owner needs privileges a
    // plain user lacks; then the file becomes ours, as any edit would make it.
    struct stat vecchio{};
    if (::stat(path_.c_str(), &vecchio) == 0) {
        ::chmod(temp_.c_str(), vecchio.st_mode & 07777);
        if (::chown(temp_.c_str(), vecchio.st_uid, vecchio.st_gid) != 0)
            ::chmod(temp_.c_str(), vecchio.st_mode & 0777);
    }
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (committed_)
        return;
    file_.reset();
    try {
        env_.remove(temp_);
    } catch (const Error&) {
        // A leftover sibling is harmless; the failure that got us here is the one reported.
    }
}

void AtomicFileWriter::append(std::string_view data)
{
    file_->writeAt(written_, data.data(), data.size());
    written_ += data.size();
}

void AtomicFileWriter::commit()
{
    file_->sync();
    file_.reset();
    try {
        env_.rename(temp_, path_);
    } catch (const Error& e) {
        throw ReplaceRefused(e.what());
    }
    committed_ = true;
    env_.syncDir(parentDirectory(path_));
}

void writeFileAtomic(Env& env, const std::string& path, std::string_view contents)
{
    AtomicFileWriter writer(env, path);
    writer.append(contents);
    writer.commit();
}

}  // namespace korva
