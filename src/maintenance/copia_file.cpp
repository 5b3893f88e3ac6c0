#include "maintenance/copia_file.h"

#include <vector>

namespace korva {

namespace {

constexpr std::size_t kBlocco = 1 << 16;

// Reads the source to its end, handing each block on.
template <class F>
void leggiTutto(File& da, F&& scrivi)
{
    std::vector<char> buf(kBlocco);
    std::uint64_t pos = 0;
    for (;;) {
        const std::size_t letti = da.readAt(pos, buf.data(), buf.size());
        if (letti == 0)
            break;
        scrivi(std::string_view(buf.data(), letti));
        pos += letti;
    }
}

}  // namespace

void CopiaFile(Env& env, const std::string& sorgente, const std::string& destinazione)
{
    // The source is opened first: an unreadable one leaves no sibling behind.
    auto da = env.open(sorgente, OpenMode::Read);
    AtomicFileWriter a(env, destinazione);
    leggiTutto(*da, [&](std::string_view blocco) { a.append(blocco); });
    a.commit();
}

void copiaInNuovoFile(Env& env, const std::string& sorgente, const std::string& destinazione)
{
    auto da = env.open(sorgente, OpenMode::Read);
    auto a = env.open(destinazione, OpenMode::CreateNew);
    std::uint64_t pos = 0;
    leggiTutto(*da, [&](std::string_view blocco) {
        a->writeAt(pos, blocco.data(), blocco.size());
        pos += blocco.size();
    });
    a->sync();
}

}  // namespace korva
