// Molecular frames: which principal axes can be oriented by the higher-Z-CM,
// their orientation (with the symmetric-molecule stop in the first pass), and
// the right-handed frames xyz (molecule 1) and XYZ (molecule 2).
#pragma once

#include "core/errors.hpp"
#include "core/pair_axes.hpp"
#include "core/session.hpp"

namespace kavor {

struct MoleculeInertia;

// Which end points the higher-Z-CM can orient, and how.
struct DirectionFlags {
  // Per end point: whether the higher-Z-CM tells its axis from the opposite
  // one, and its sense: +1 towards the higher-Z-CM (or not judged), -1 away.
  std::array<bool, 6> distinguishable{};
  std::array<int, 6> sense{};
  // Molecules with a usable higher-Z group, and for their end points the
  // angles (degrees) between the higher-Z-CM and the axis, and its opposite.
  std::array<bool, 2> judged{};
  std::array<double, 6> angle_plus{}, angle_minus{};
};

// The report's flag sum of molecule m: 10 per distinguishable axis.
int flag_sum(const DirectionFlags& flags, int m);

// Without `with_angles` (nothing reports them) angle_plus and angle_minus
// are left unset where the flags are clear without them.
DirectionFlags direction_flags(const std::array<MoleculeInertia, 2>& molecules,
                               const PairAxes& axes, bool with_angles = true);

// The first pass's verdict: a molecule with fewer than two distinguishable
// axes has no unique frame (symmetric_1, symmetric_2, symmetric_both), else ok.
Status symmetry_status(const DirectionFlags& flags);

// Each end point judged to point away from the higher-Z-CM reflected
// through its molecule's centre.
PairAxes oriented_axes(const PairAxes& axes, const DirectionFlags& flags);

// One test of a frame's handedness: n = a x b dotted with u, before and
// after u was reflected when the sign was wrong.
struct HandednessCheck {
  int frame_case = 0;  // which of the sixteen flag patterns matched
  Vec3 a, b, n, u;
  double t = 0.0, t_after = 0.0;
};

struct RightHandedFrames {
  PairAxes axes;
  std::array<HandednessCheck, 2> checks{};  // in the order they were made
  int check_count = 0;
};

// Makes the frames xyz (molecule 1) and XYZ (molecule 2) right-handed by
// reflecting the end point that the flag pattern leaves undetermined.
RightHandedFrames right_handed(const PairAxes& oriented, const DirectionFlags& flags);

// The three steps of one pass with their report sections; in the first
// pass a symmetric molecule ends the run (ProgramStop).
struct FrameStep {
  DirectionFlags flags;  // as judged, before the orientation
  RightHandedFrames frames;
};
FrameStep build_frames(Session& session, const std::array<MoleculeInertia, 2>& molecules,
                       const PairAxes& axes, int pass);

// The report's sections of the three steps. `pass` is 0, 1 or 2.
void write_direction_flags(Report& report, const DirectionFlags& flags, int pass, Mode mode);
void write_orientation(Report& report, const PairAxes& before, const PairAxes& after,
                       const DirectionFlags& flags);
void write_right_handed(Report& report, const RightHandedFrames& frames);
// Writes the symmetric-molecule messages (console and report) and ends the
// run with the stop.
[[noreturn]] void stop_symmetric(Session& session, const DirectionFlags& flags, Status status);

// Smallest angle difference, in degrees, that makes an axis distinguishable.
inline constexpr double kDetectableDifferenceDeg = 10.0;

}  // namespace kavor
