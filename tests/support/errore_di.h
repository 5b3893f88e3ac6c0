#pragma once

#include <functional>
#include <string>

namespace korva::test {

// The text of the Error that `f` throws ("nessun errore" when it throws none).
std::string erroreDi(const std::function<void()>& f);

}  // namespace korva::test
