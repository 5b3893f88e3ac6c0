#pragma once

// Internal to the access layer: the client library's master interface, status handling,
// parameter blocks and the text conversions of the connection character set.

#include "engines/interbase/error.h"

#include <firebird/Interface.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korva::ib::detail {

// The client library, set up on first use: FIREBIRD_LOCK points to a per-user directory when
// it is unset, so that the in-process engine works for an ordinary user.
Firebird::IMaster* master();
Firebird::IUtil* util();
Firebird::IProvider* provider();

// Called after every attach and creation, failed ones too: makes sure the engine is shut
// down at exit, before its own static objects go.
void motoreInUso();


// The directory chosen for FIREBIRD_LOCK when it is unset.
std::string directoryLockPredefinita();

// A status object for one or more calls; disposed at the end of its scope.
class Stato {
public:
    Stato() : wrapper_(master()->getStatus()) {}
    ~Stato() { wrapper_.dispose(); }
    Stato(const Stato&) = delete;
    Stato& operator=(const Stato&) = delete;
    Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }

private:
    Firebird::ThrowStatusWrapper wrapper_;
};

// The Error for a failed call: the library's message, after `contesto` when not empty.
ib::Error errore(const Firebird::IStatus* status, std::string_view contesto = {});

// Runs `f`, turning the client library's exceptions into ib::Error.
template <typename F>
decltype(auto) chiama(F&& f, std::string_view contesto = {})
{
    try {
        return std::forward<F>(f)();
    } catch (const Firebird::FbException& e) {
        throw errore(e.getStatus(), contesto);
    }
}

// Runs `f`, a call that may load the in-process engine, as chiama() does.
template <typename F>
decltype(auto) chiamaMotore(F&& f, std::string_view contesto = {})
{
    struct Dopo {
        ~Dopo() { motoreInUso(); }
    } dopo;
    return chiama(std::forward<F>(f), contesto);
}

// An interface pointer released at the end of its scope.
template <typename T>
class Rif {
public:
    Rif() = default;
    explicit Rif(T* p) : p_(p) {}
    ~Rif() { reset(); }
    Rif(Rif&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Rif& operator=(Rif&& o) noexcept
    {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    void reset(T* p = nullptr)
    {
        if (p_)
            p_->release();
        p_ = p;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* release() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// A parameter block (database, transaction or service) built with the library's builder.
class Blocco {
public:
    explicit Blocco(unsigned tipo);
    ~Blocco();
    Blocco(const Blocco&) = delete;
    Blocco& operator=(const Blocco&) = delete;
    void tag(unsigned char t);
    void intero(unsigned char t, int valore);
    // A tag with a one-byte value (the shutdown and on-line modes).
    void ottetto(unsigned char t, unsigned char valore);
    void testo(unsigned char t, const std::string& valore);
    unsigned lunghezza();
    const unsigned char* dati();

private:
    Firebird::IXpbBuilder* b_ = nullptr;
};

// The connection's character set and the program's UTF-8.
inline constexpr const char* kCharsetConnessione = "WIN1252";
inline constexpr unsigned kIdWin1252 = 53;
// Bytes as the connection delivers them (WIN1252) to UTF-8.
std::string daConnessione(std::string_view byte);
// UTF-8 to the connection's bytes; a character WIN1252 cannot hold is an Error.
std::string versoConnessione(std::string_view testo);

// A message of the library or of a service: UTF-8 when it is valid UTF-8 (file names),
// else the connection's bytes.
std::string testoDaMessaggio(std::string_view byte);

// A "name=value" parameter line split at the first "=", the name in lower case and trimmed.
std::pair<std::string, std::string> dividiParametro(std::string_view riga);

// The values of the connection parameter lines: user_name, password, sql_role_name; an
// lc_ctype other than WIN1252 and an unknown name are Errors.
struct Credenziali {
    std::string utente, password, ruolo;
};
Credenziali credenziali(const std::vector<std::string>& righe);

}  // namespace korva::ib::detail

// The libraries the client loads keep allocations of their own until the process ends: the
// leak checker of a sanitizer build is told they are not ours. A program that loads more such
// libraries (the tests load pxlib) gives its own hook, which these lines begin. The dynamic
// loader's own record of a plugin's dependencies goes too: the engine's shutdown unloads the
// plugin, and the record of its dependencies is then held by no pointer left.
#define KORVA_SOPPRESSIONI_PERDITE_CLIENT \
    "leak:libfbclient.so\n"              \
    "leak:libEngine12.so\n"              \
    "leak:libfbintl.so\n"                \
    "leak:libSrp.so\n"                   \
    "leak:libtommath.so\n"               \
    "leak:libicuuc.so\n"                 \
    "leak:libicui18n.so\n"               \
    "leak:_dl_map_object_deps\n"
