#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace korva {

// A failure of the system, carrying its own text (UTF-8, Italian) as the user reads it.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text shown by the general error display: the failure's own text, with a full stop
// added when its last character sorts after ".".
std::string testoErroreGenerale(std::string_view testo);

}  // namespace korva
