#include "base/errno_it.h"

#include <cerrno>
#include <cstring>

namespace korva {

std::string descriviErrno(int numero)
{
    switch (numero) {
    case ENOENT: return "file o directory inesistente";
    case EACCES:
    case EPERM: return "permesso negato";
    case ENOSPC: return "spazio su disco esaurito";
    case EDQUOT: return "quota disco superata";
    case EIO: return "errore di lettura/scrittura sul disco";
    case EROFS: return "file system di sola lettura";
    case EEXIST: return "il file esiste già";
    case ENOTDIR: return "un componente del percorso non è una directory";
    case EISDIR: return "è una directory";
    case ENOTEMPTY: return "la directory non è vuota";
    case EBUSY: return "risorsa occupata";
    case EMFILE:
    case ENFILE: return "troppi file aperti";
    case ENAMETOOLONG: return "nome troppo lungo";
    case EAGAIN: return "risorsa temporaneamente non disponibile";
    case EXDEV: return "spostamento tra file system diversi";
    case EFBIG: return "file troppo grande";
    case EINVAL: return "argomento non valido";
    default: return std::string("errore di sistema ") + std::to_string(numero) + " (" +
                    std::strerror(numero) + ")";
    }
}

}  // namespace korva
