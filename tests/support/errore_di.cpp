#include "support/errore_di.h"

#include "base/errore.h"

namespace korva::test {

std::string erroreDi(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "nessun errore";
}

}  // namespace korva::test
