#pragma once

#include <string_view>

namespace korva {

// The layout report that the program is built with (report/struttur.rpt): what crea-demo
// writes into a company's program directory. Printing reads the file there, never this.
std::string_view reportPredefinito();

}  // namespace korva
