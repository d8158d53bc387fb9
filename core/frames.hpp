// Molecular frames: which principal axes can be oriented by the higher-Z-CM,
// their orientation (with the symmetric-molecule stop in the first pass), and
// the right-handed frames xyz (molecule 1) and XYZ (molecule 2).
#pragma once

#include "core/state.hpp"

namespace kavor {

// Runs the three frame steps of one pass on the end-point table left by the
// inertia analysis. May end the run (ProgramStop) in pass 0.
void build_frames(CoreState& st);

// The individual steps, in their calling order.
void set_direction_flags(CoreState& st);
void orient_axes(CoreState& st);
void assemble_right_handed(CoreState& st);

// Smallest angle difference, in degrees, that makes an axis distinguishable.
inline constexpr double kDetectableDifferenceDeg = 10.0;

}  // namespace kavor
