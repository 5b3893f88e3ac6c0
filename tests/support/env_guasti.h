#pragma once

#include "base/env.h"

#include <cstdint>
#include <string>

namespace korva::test {

// An Env over the real file system that fails on purpose: the n-th mutating operation
// (write, truncate, sync, rename, remove, create, directory sync), counted from 1, fails with
// the chosen fault, and so does every later one when `bloccaDopo` is set (a process that
// died there). Counting lets a test run an operation once to learn how many steps it takes,
// then fail each of them in turn.
class EnvGuasti : public Env {
public:
    enum class Guasto {
        ErroreIO,        // the operation fails, nothing done
        ScritturaCorta,  // a write stores its first half, then fails
        DiscoPieno,      // the operation fails with "disk full"
    };

    explicit EnvGuasti(Env& base = Env::standard()) : base_(base) {}

    // Fails the n-th mutating operation from now (0: never).
    void guastaAl(std::int64_t n, Guasto g, bool bloccaDopo = false);
    std::int64_t operazioni() const { return operazioni_; }
    bool guastoAvvenuto() const { return avvenuto_; }
    // The locks taken through this Env's files.
    int blocchiPresi() const { return blocchi_; }
    void bloccoPreso() { ++blocchi_; }

    std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    bool exists(const std::string& path) override { return base_.exists(path); }
    std::optional<FileIdentity> identity(const std::string& path) override
    {
        return base_.identity(path);
    }
    std::vector<std::string> list(const std::string& dir) override { return base_.list(dir); }
    void createDir(const std::string& path) override;
    void syncDir(const std::string& dir) override;

    // Called before each mutating operation; throws when it is the one to fail. Returns true
    // when a write is to be cut short instead.
    bool passo(const std::string& cosa, bool scrittura);

private:
    Env& base_;
    std::int64_t operazioni_ = 0;
    std::int64_t bersaglio_ = 0;
    Guasto guasto_ = Guasto::ErroreIO;
    bool bloccaDopo_ = false;
    bool avvenuto_ = false;
    int blocchi_ = 0;
};

}  // namespace korva::test
