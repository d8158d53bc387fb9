// The builder `ud-kavor`: reads "UD-input-GEOMETRY.xyz" in a directory, places
// molecule 1 at the user's parameters and writes the new pair.
#pragma once

#include <filesystem>
#include <ostream>

namespace kavor {

int run_builder(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors);

}  // namespace kavor
