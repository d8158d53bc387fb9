// The analyzer `kavor`: reads "input-GEOMETRY.xyz" in a directory, analyses
// the pair and prints the six placement parameters.
#pragma once

#include <filesystem>
#include <ostream>

namespace kavor {

// Runs the whole program in `dir`, writing the console lines to `console`.
// Returns the exit status; input and output errors go to `errors`.
int run_analyzer(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors);

}  // namespace kavor
