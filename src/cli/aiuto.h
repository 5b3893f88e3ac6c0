#pragma once

namespace CLI {
class App;
}

namespace korva::cli {

// The usage text in Italian: help and version flags, labels, the groups of options and commands.
// Called once the commands are registered, so that every level gets the same texts.
void italianizzaAiuto(CLI::App& app);

}  // namespace korva::cli
