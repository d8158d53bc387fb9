// The builder `ud-kavor`: reads "UD-input-GEOMETRY.xyz" in a directory, places
// molecule 1 at the user's parameters and writes the new pair.
#pragma once

#include <filesystem>
#include <ostream>

#include "builder/user_values.hpp"
#include "core/session.hpp"

namespace kavor {

// The end of a run: the summary on the console and the closing block of the
// report, from the re-measured r (Angstrom) and the summary's whole degrees.
void write_builder_summary(Session& s, double r_out, const SummaryDegrees& d);

int run_builder(const std::filesystem::path& dir, std::ostream& console, std::ostream& errors);

}  // namespace kavor
