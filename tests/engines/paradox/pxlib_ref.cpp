#include "engines/paradox/pxlib_ref.h"

#include "base/codepage.h"
#include "engines/interbase/client.h"
#include "engines/paradox/format.h"

extern "C" {
#include <paradox.h>
}

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korva::test {

namespace {

std::string ultimoErrore;

void quiet(pxdoc_t*, int, const char* msg, void*)
{
    ultimoErrore = msg ? msg : "";
}

struct Boot {
    Boot() { PX_boot(); }
};

pxdoc_t* nuovo()
{
    static Boot boot;
    return PX_new2(quiet, nullptr, nullptr, nullptr);
}

std::string formatBcd(std::string s)
{
    // pxlib writes the decimals in full; we write the shortest form.
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.')
            s.pop_back();
    }
    bool neg = !s.empty() && s[0] == '-';
    std::string digits = neg ? s.substr(1) : s;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty() || digits[0] == '.')
        digits = "0" + digits;
    if (digits == "0")
        neg = false;
    return (neg ? "-" : "") + digits;
}

}  // namespace

PxlibTable leggiConPxlib(const std::string& db, const std::string& blobFile, int codePage)
{
    pxdoc_t* doc = nuovo();
    if (PX_open_file(doc, db.c_str()) < 0) {
        PX_delete(doc);
        throw std::runtime_error("pxlib non apre " + db);
    }
    // Debian's pxlib 0.6.8 aborts in PX_set_blob_file (stack smashing while it reads the .MB
    // header, with every sample): blob fields are compared by other means.
    (void)blobFile;
    PxlibTable t;
    const int nf = PX_get_num_fields(doc);
    pxfield_t* f = PX_get_fields(doc);
    for (int i = 0; i < nf; ++i) {
        t.names.emplace_back(f[i].px_fname);
        t.types.push_back(f[i].px_ftype);
    }
    const int n = PX_get_num_records(doc);
    for (int r = 0; r < n; ++r) {
        pxval_t** v = PX_retrieve_record(doc, r);
        if (!v)
            throw std::runtime_error("pxlib non legge il record " + std::to_string(r) + " di " + db);
        std::vector<std::string> row;
        for (int i = 0; i < nf; ++i) {
            pxval_t* x = v[i];
            std::string s;
            const bool blob = f[i].px_ftype == pxfMemoBLOb || f[i].px_ftype == pxfBLOb ||
                              f[i].px_ftype == pxfGraphic || f[i].px_ftype == pxfOLE ||
                              f[i].px_ftype == pxfFmtMemoBLOb;
            if (blob) {
                s = kBlobNonLetto;
            } else if (!x->isnull) {
                const std::string raw = x->value.str.val ? std::string(x->value.str.val, static_cast<std::size_t>(std::max(0, x->value.str.len))) : std::string();
                switch (f[i].px_ftype) {
                case pxfAlpha:
                    s = codepage::toUtf8(std::string(raw.c_str()), codePage);
                    break;
                case pxfShort:
                case pxfLong:
                case pxfAutoInc:
                    s = std::to_string(x->value.lval);
                    break;
                case pxfNumber:
                case pxfCurrency:
                    s = paradox::formatDouble(x->value.dval);
                    break;
                case pxfDate: {
                    int y, m, d;
                    PX_SdnToGregorian(x->value.lval + 1721425, &y, &m, &d);
                    s = paradox::formatDate({y, m, d});
                    break;
                }
                case pxfTime:
                    s = paradox::formatTime(x->value.lval);
                    break;
                case pxfTimestamp:
                    s = paradox::formatTimestamp(x->value.dval);
                    break;
                case pxfLogical:
                    s = x->value.lval ? "true" : "false";
                    break;
                case pxfBCD:
                    s = formatBcd(x->value.str.val ? x->value.str.val : "");
                    break;
                case pxfMemoBLOb:
                    s = codepage::toUtf8(raw, codePage);
                    break;
                default:
                    s = paradox::toHex(raw);
                }
            }
            row.push_back(s);
            if (x->type == pxfAlpha || x->type == pxfBCD || x->type == pxfBytes ||
                x->type == pxfMemoBLOb || x->type == pxfBLOb || x->type == pxfGraphic ||
                x->type == pxfOLE || x->type == pxfFmtMemoBLOb)
                if (x->value.str.val)
                    doc->free(doc, x->value.str.val);
            doc->free(doc, x);
        }
        doc->free(doc, v);
        t.rows.push_back(std::move(row));
    }
    PX_close(doc);
    PX_delete(doc);
    return t;
}

std::string ultimoErrorePxlib()
{
    return ultimoErrore;
}

int recordPxlib(const std::string& db)
{
    pxdoc_t* doc = nuovo();
    if (PX_open_file(doc, db.c_str()) < 0) {
        PX_delete(doc);
        return -1;
    }
    int n = PX_get_num_records(doc);
    PX_close(doc);
    PX_delete(doc);
    return n;
}

bool pxlibLeggeIndice(const std::string& db, const std::string& px, int& entries)
{
    pxdoc_t* doc = nuovo();
    pxdoc_t* ix = nuovo();
    bool ok = PX_open_file(doc, db.c_str()) >= 0 && PX_open_file(ix, px.c_str()) >= 0 &&
              PX_read_primary_index(ix) >= 0 && PX_add_primary_index(doc, ix) >= 0;
    entries = ok ? PX_get_num_records(ix) : -1;
    PX_close(doc);
    PX_delete(doc);
    PX_close(ix);
    PX_delete(ix);
    return ok;
}

void scriviConPxlib(const std::string& db, const std::vector<PxlibField>& fields, int keys,
                    const std::vector<std::vector<std::string>>& rows)
{
    pxdoc_t* doc = nuovo();
    auto* pf = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "campi"));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        pf[i].px_fname = static_cast<char*>(doc->malloc(doc, fields[i].name.size() + 1, "nome"));
        std::strcpy(pf[i].px_fname, fields[i].name.c_str());
        pf[i].px_ftype = fields[i].type;
        pf[i].px_flen = fields[i].size;
        pf[i].px_fdc = 0;
    }
    if (PX_create_file(doc, pf, static_cast<int>(fields.size()), db.c_str(),
                       keys ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0)
        throw std::runtime_error("pxlib non crea " + db);
    PX_set_parameter(doc, "tablename", "PXLIB");
    PX_set_value(doc, "codepage", 1252);
    if (keys)
        PX_set_value(doc, "numprimkeys", static_cast<float>(keys));
    for (const auto& row : rows) {
        std::vector<pxval_t*> vals(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            auto* v = static_cast<pxval_t*>(doc->malloc(doc, sizeof(pxval_t), "valore"));
            std::memset(v, 0, sizeof *v);
            v->type = fields[i].type;
            const std::string& s = row[i];
            v->isnull = s.empty();
            if (!s.empty()) {
                switch (fields[i].type) {
                case pxfAlpha: {
                    std::string b = codepage::fromUtf8(s, 1252);
                    v->value.str.val = static_cast<char*>(doc->malloc(doc, b.size() + 1, "testo"));
                    std::memcpy(v->value.str.val, b.c_str(), b.size() + 1);
                    v->value.str.len = static_cast<int>(b.size());
                    break;
                }
                case pxfShort:
                case pxfLong:
                    v->value.lval = std::stol(s);
                    break;
                case pxfLogical:
                    v->value.lval = s == "true";
                    break;
                case pxfNumber:
                    v->value.dval = std::stod(s);
                    break;
                case pxfDate: {
                    int y = std::stoi(s.substr(0, 4)), m = std::stoi(s.substr(5, 2)),
                        d = std::stoi(s.substr(8, 2));
                    v->value.lval = PX_GregorianToSdn(y, m, d) - 1721425;
                    break;
                }
                default:
                    throw std::runtime_error("tipo non scritto con pxlib");
                }
            }
            vals[i] = v;
        }
        if (PX_insert_record(doc, vals.data()) < 0)
            throw std::runtime_error("pxlib non inserisce in " + db);
        for (auto* v : vals) {
            if (v->type == pxfAlpha && v->value.str.val)
                doc->free(doc, v->value.str.val);
            doc->free(doc, v);
        }
    }
    PX_close(doc);
    PX_delete(doc);
}

}  // namespace korva::test

// pxlib keeps a few small allocations of its own (index and boot state) for the life of the
// process, and so does the GLib it loads: the leak checker of the sanitizer build is told
// they are theirs, besides those of the Firebird client that the tests may load too.
extern "C" const char* __lsan_default_suppressions()
{
    return KORVA_SOPPRESSIONI_PERDITE_CLIENT "leak:libpx.so\n"
                                             "leak:libglib-2.0.so\n";
}
