#include "cli/contesto.h"

#include "base/percorsi.h"

namespace korva::cli {

std::string Contesto::percorsoImpostazioni() const
{
    return ini.empty() ? percorsoImpostazioniPredefinito() : ini;
}

std::string Contesto::directoryAvvio() const
{
    return dir.empty() ? directoryCorrente() : dir;
}

std::unique_ptr<TTabForm> Contesto::creaImpostazioni()
{
    return std::make_unique<TTabForm>(interazione, directoryAvvio(), percorsoImpostazioni());
}

}  // namespace korva::cli
