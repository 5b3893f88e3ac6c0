#include "dictionary/nome_riservato.h"

#include <strings.h>

namespace korva {

bool nomeTabellaConfronto(const std::string& nomeTabella)
{
    return strcasecmp(nomeTabella.c_str(), kNomeTabellaConfronto) == 0;
}

std::string avvisoNomeTabellaConfronto(const std::string& nomeTabella)
{
    return "Attenzione: " + nomeTabella + " ha il nome della tabella di confronto della verifica del "
           "tracciato (XXXCONF). La verifica non controlla questa tabella, e nella sua cartella si ferma "
           "senza toccarla quando contiene dei record";
}

}  // namespace korva
