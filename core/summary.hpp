// Console texts both programs share: the banner, the atom-count stops and the
// position block of the summary.
#pragma once

#include <string_view>

#include "core/geometry_input.hpp"
#include "core/session.hpp"

namespace kavor {

void write_banner(Session& s, std::string_view version_line);

// Stops the run (ProgramStop) when either molecule has fewer than 3 atoms or
// the pair fewer than 6, before any file is written.
void stop_on_atom_counts(Session& s, const GeometryBlock& block);

// The position lines after the "POSITION:" title: r (Angstrom) with theta
// and phi in whole degrees, "NAD" for an azimuth on the polar axis, and no
// angle at all below 0.1 Angstrom.
void write_position_block(Session& s, double r, long theta_deg, long phi_deg);

}  // namespace kavor
