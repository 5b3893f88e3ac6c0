#include "checks/turno_verifica.h"

#include "base/errore.h"
#include "engines/paradox/lock.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

namespace korva {

namespace {

// `creato` tells whether this process made the file. The other verifications of the folder
// make and remove it meanwhile, so a failure to open or to make it is final only when it
// repeats.
std::unique_ptr<File> apriOCrea(Env& env, const std::string& percorso, bool& creato)
{
    for (int tentativi = 1;; ++tentativi) {
        creato = false;
        try {
            if (env.exists(percorso))
                return env.open(percorso, OpenMode::ReadWrite);
            auto f = env.open(percorso, OpenMode::CreateNew);
            creato = true;
            return f;
        } catch (const Error&) {
            if (tentativi >= 50)
                throw;
        }
    }
}

// Written by a verification: text whose lines are all holder lines of ours, or nothing yet
// (another verification may take the turn on the file one made before that one locks it).
// Anything else is another program's file, kept as it is.
bool testoNostro(File& f)
{
    std::string testo(static_cast<std::size_t>(std::min<std::uint64_t>(f.size(), 1 << 16)), '\0');
    testo.resize(f.readAt(0, testo.data(), testo.size()));
    if (testo.find('\0') != std::string::npos)
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
        // A link of that name would have the turn written and removed wherever it leads.
        std::error_code ec;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(percorso_, ec)))
            throw Error("Nella cartella " + cartella + " " + kFileTurnoVerifica +
                        " è un collegamento a un altro file: la verifica del tracciato non lo usa. "
                        "Eliminarlo o rinominarlo, poi riprovare");
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
