#include "maintenance/file_archivio.h"

#include "base/percorsi.h"
#include "engines/interbase/database.h"

#include <unistd.h>

namespace korva {

bool hostLocale(std::string host)
{
    if (const auto porta = host.find('/'); porta != std::string::npos)
        host.erase(porta);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    char nome[256] = {};
    gethostname(nome, sizeof nome - 1);
    return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == nome;
}

std::optional<std::string> fileRaggiungibile(const std::string& nomeDatabase)
{
    if (!ib::formaServer(nomeDatabase))
        return ib::nomePerIlCliente(nomeDatabase);
    const auto [host, percorso] = ib::dividiFormaServer(nomeDatabase);
    if (!hostLocale(host))
        return std::nullopt;
    const std::string file = percorsoFs(percorso);
    if (::access(file.c_str(), R_OK | W_OK) != 0)
        return std::nullopt;
    return file;
}

}  // namespace korva
