#include "checks/turno_verifica.h"

#include "base/errore.h"
#include "engines/paradox/lock.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace korva {

namespace {

// `creato` tells whether this process made the file.
std::unique_ptr<File> apriOCrea(Env& env, const std::string& percorso, bool& creato)
{
    for (;;) {
        creato = false;
        try {
            return env.open(percorso, OpenMode::ReadWrite);
        } catch (const Error&) {
            if (env.exists(percorso))
                throw;
        }
        try {
            creato = true;
            return env.open(percorso, OpenMode::CreateNew);
        } catch (const Error&) {
            // Made by another verification meanwhile: opened as it is.
            if (!env.exists(percorso))
                throw;
        }
    }
}

// Written by a verification: text whose lines are all holder lines of ours. Anything else is
// another program's file, kept as it is.
bool testoNostro(File& f)
{
    std::string testo(static_cast<std::size_t>(std::min<std::uint64_t>(f.size(), 1 << 16)), '\0');
    testo.resize(f.readAt(0, testo.data(), testo.size()));
    if (testo.empty() || testo.find('\0') != std::string::npos)
        return false;
    std::istringstream in(testo);
    std::string riga;
    while (std::getline(in, riga))
        if (!riga.empty() && riga != "\r" && riga.rfind("KORVAWIN ", 0) != 0)
            return false;
    return true;
}

}  // namespace

TurnoVerifica::TurnoVerifica(Env& env, const std::string& cartella, std::chrono::milliseconds attesa)
    : env_(env), percorso_(cartella + "/" + kFileTurnoVerifica)
{
    const auto fine = std::chrono::steady_clock::now() + attesa;
    for (;;) {
        bool creato = false;
        auto f = apriOCrea(env_, percorso_, creato);
        if (f->lock(0, 1, LockType::Exclusive, false)) {
            // The turn before may have removed the file after we opened it: the turn is the
            // file the name leads to now.
            if (env_.identity(percorso_) == f->identity()) {
                nostro_ = creato || testoNostro(*f);
                file_ = std::move(f);
                break;
            }
            continue;
        }
        if (std::chrono::steady_clock::now() >= fine)
            throw Error("Un'altra verifica del tracciato è in corso nella cartella " + cartella +
                        ": riprovare quando sarà terminata");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!nostro_)
        return;
    // For people who find the file: who holds the turn.
    const std::string chi = paradox::lckLine(kFileTurnoVerifica, true) + "\r\n";
    try {
        file_->truncate(0);
        file_->writeAt(0, chi.data(), chi.size());
    } catch (const Error&) {
        // Information only.
    }
}

TurnoVerifica::~TurnoVerifica()
{
    // Removed while held: who waits on it finds it gone and makes the next one.
    try {
        if (nostro_)
            env_.remove(percorso_);
    } catch (const Error&) {
        // Left behind it is harmless: the next turn takes it over.
    }
    file_.reset();
}

}  // namespace korva
