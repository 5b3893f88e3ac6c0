#include "maintenance/verifica_integrita.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "base/mem_env.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"
#include "maintenance/cartelle.h"
#include "maintenance/integrita_dati.h"
#include "maintenance/integrita_memo.h"
#include "maintenance/tracciato_famiglia.h"

#include <strings.h>

#include <cstring>

namespace korva {

using namespace paradox;

namespace {

// The validity file against the table it belongs to: its stamp, and its list of fields after
// its checks (whatever level of the table wrote it).
std::vector<std::string> verificaVal(const integrita::LetturaDati& d, const std::string& nome, const std::string& v,
                                     std::uint8_t stampo)
{
    std::vector<std::string> out;
    auto rilievo = [&](const std::string& s) {
        out.push_back(nome + ": " + s);
        return out;
    };
    const auto* p = reinterpret_cast<const std::uint8_t*>(v.data());
    const std::size_t n = v.size();
    if (n < 0x35)
        return rilievo("file troppo corto (" + std::to_string(n) + " byte)");
    if (p[0] != stampo)
        rilievo("non corrisponde alla versione della tabella: i suoi controlli non vengono applicati");
    const std::size_t fine = get32(p + 9);
    if (fine < 0x35 || fine + 6 > n)
        return rilievo("posizione della descrizione dei campi fuori dal file");
    const int campi = get16(p + fine);
    if (campi != static_cast<int>(d.campi.size()))
        return rilievo("descrive " + std::to_string(campi) + " campi, la tabella ne ha " + std::to_string(d.campi.size()));
    return out;
}

// The primary and secondary indexes against a sound data file, through the engine's own check.
std::vector<std::string> verificaIndici(const FamigliaTabella& f)
{
    // In memory at the table's own place, so that what the engine says names the real files.
    MemEnv mem;
    mem.createDir(f.dir);
    for (const auto& [nome, byte] : f.file)
        mem.put(f.dir + "/" + nome, byte);
    try {
        TableFile t(mem, f.dir, f.db, true, f.db, OpenFor::Use);
        std::vector<std::string> out;
        for (const std::string& r : t.check())
            out.push_back(f.db + ": " + r);
        return out;
    } catch (const Error& e) {
        return {e.what()};
    }
}

// Each secondary index is a pair of files, .Xnn with .Ynn, .XGn with .YGn.
std::vector<std::string> metaMancanti(const FamigliaTabella& f)
{
    std::vector<std::string> out;
    auto presente = [&](const std::string& nome) {
        for (const std::string& s : f.secondari)
            if (strcasecmp(s.c_str(), nome.c_str()) == 0)
                return true;
        return false;
    };
    for (const std::string& s : f.secondari) {
        const std::string e = s.substr(s.rfind('.') + 1);
        const bool x = e[0] == 'X' || e[0] == 'x';
        const std::string altro = f.base + "." + (x ? "Y" : "X") + e.substr(1);
        if (!presente(altro))
            out.push_back(s + ": manca il file " + altro + (x ? ", che indicizza i suoi blocchi" : ", di cui indicizza i blocchi"));
    }
    return out;
}

}  // namespace

const std::string* FamigliaTabella::dati(const std::optional<std::string>& nome) const
{
    if (!nome)
        return nullptr;
    const auto it = file.find(*nome);
    return it == file.end() ? nullptr : &it->second;
}

FamigliaTabella leggiFamiglia(Env& env, const std::string& dir, const std::string& db)
{
    const TableFiles tf = findTableFiles(env, dir, db);
    FamigliaTabella f;
    f.dir = dir;
    f.db = tf.db;
    f.base = tf.base;
    f.px = tf.px;
    f.mb = tf.mb;
    f.val = tf.val;
    f.secondari = tf.secondary;
    for (const std::string& nome : tf.all())
        f.file[nome] = readWholeFile(env, dir + "/" + nome);
    return f;
}

std::vector<std::string> verificaFamiglia(const FamigliaTabella& f, const DefinizioniParadox* dizionario)
{
    const integrita::SceltaTracciato scelta = integrita::stabilisciTracciato(f, dizionario);
    std::vector<std::string> out = scelta.note;
    if (!scelta.tracciato) {
        out.push_back(f.db + ": " + scelta.motivo);
        return out;
    }
    const integrita::LetturaDati& d = *scelta.lettura;
    out.insert(out.end(), d.rilievi.begin(), d.rilievi.end());
    const bool datiSani = out.empty();
    for (std::string& r : integrita::verificaMemo(d, f.dati(f.mb), f.mb.value_or(f.base + ".MB")))
        out.push_back(std::move(r));
    if (const std::string* val = f.dati(f.val))
        for (std::string& r : verificaVal(d, *f.val, *val, f.file.at(f.db).size() > Hdr::ChangeCount2
                                                               ? static_cast<std::uint8_t>(f.file.at(f.db)[Hdr::ChangeCount2])
                                                               : 0))
            out.push_back(std::move(r));
    for (std::string& r : metaMancanti(f))
        out.push_back(std::move(r));
    if (datiSani && scelta.comeIntestazione)
        for (std::string& r : verificaIndici(f))
            out.push_back(std::move(r));
    else if (d.campiChiave > 0 && !f.px)
        out.push_back(f.db + ": manca l'indice primario (" + f.base + ".PX)");
    if (!(datiSani && scelta.comeIntestazione) && (d.campiChiave > 0 || !f.secondari.empty()))
        out.push_back(f.db + ": gli indici non si possono confrontare con un file dati danneggiato "
                             "(la riparazione li ricostruisce)");
    return out;
}

std::vector<std::string> VerificaIntegritaTabella(const std::string& directory, const std::string& file, bool singola,
                                                  Interazione& io, Env& env, const DefinizioniParadox* dizionario)
{
    const std::string dir = cartellaFs(directory);
    std::vector<std::string> rilievi;
    std::string nome = file;
    try {
        const auto db = detail::findFile(env, dir, file);
        if (!db)
            throw Error("La tabella " + dir + "/" + file + " non esiste");
        nome = *db;
        rilievi = verificaFamiglia(leggiFamiglia(env, dir, *db), dizionario);
    } catch (const Error& e) {
        rilievi.push_back(e.what());
    }
    if (singola) {
        std::string titolo = "Verifica integrità della tabella " + dir + "/" + nome + ": ";
        if (rilievi.empty())
            titolo += kNessunProblema;
        else
            titolo.append(std::to_string(rilievi.size())).append(rilievi.size() == 1 ? " problema trovato" : " problemi trovati");
        io.rapporto(titolo, rilievi);
    }
    return rilievi;
}

}  // namespace korva
