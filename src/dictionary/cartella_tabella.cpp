#include "dictionary/cartella_tabella.h"

#include "base/errore.h"
#include "base/percorsi.h"

#include <filesystem>

namespace korva {

bool cartellaNellaDirectoryDiLavoro(const std::string& lavoroDir, const std::string& pathParziale)
{
    return sottoDirectory(lavoroDir + pathParziale, lavoroDir).has_value();
}

bool cartellaRelativaInterna(const std::string& pathParziale)
{
    const auto forma = std::filesystem::path("d/" + percorsoFs(pathParziale)).lexically_normal();
    return !forma.empty() && *forma.begin() == "d";
}

void richiediCartellaNellaDirectoryDiLavoro(const std::string& lavoroDir, const std::string& pathParziale,
                                            const std::string& nomeTabella)
{
    if (!cartellaNellaDirectoryDiLavoro(lavoroDir, pathParziale))
        throw Error("La cartella \"" + pathParziale + "\" della tabella " + nomeTabella +
                    " è fuori dalla directory di lavoro " + lavoroDir + ": impossibile procedere");
}

}  // namespace korva
