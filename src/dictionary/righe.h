#pragma once

#include <string>

namespace korva {

// One row of KORVA.DB: a described table.
struct DefTabella {
    std::string NomeTabella;
    std::string PathParziale;
    int NumeroCampi = 0;
    int CampiChiavePrimaria = 0;
    int IndiciSecSingoli = 0;
    int IndiciSecComposti = 0;
    int Ordinamento = 0;
    int Formato = 0;
};

// One row of CAMPI.DB: a field of a described table.
struct DefCampo {
    std::string NomeTabella;
    int NumeroCampo = 0;
    std::string NomeCampo;
    std::string TipoELunghezza;
    int Chiave = 0;
    int IndiceSecSingolo = 0;
    int TipoIndiceSecSingolo = 0;
};

// One row of INDICIC.DB: a field of a composite secondary index.
struct DefIndiceComposto {
    std::string NomeTabella;
    std::string NomeIndiceSecComp;
    int NumeroCampo = 0;
    std::string EstensioneIndiceSecComp;
    int TipoIndiceSecComp = 0;
};

}  // namespace korva
