// The analysis core's entry `param`: identification, three alignment passes
// of the per-molecule analysis, the Euler search, the relative position and
// the final values, then the analyzer's result files or the builder's
// placement.
#pragma once

#include <string>
#include <vector>

#include "core/atoms.hpp"
#include "core/euler.hpp"
#include "core/pair_axes.hpp"
#include "core/session.hpp"
#include "kavor/kavor.hpp"

namespace kavor {

// The six placement values. r in Angstrom, angles in radians.
struct PairValues {
  double r = 0.0, theta = 0.0, phi = 0.0;
  double alpha = 0.0, beta = 0.0, gamma = 0.0;
};

// What the analysis hands to the builder's placement: the same for every
// point of a scan.
struct AnalysedPair {
  int n = 0, n1 = 0;
  // Analysis-frame coordinates (molecule 2's centre at the origin, its
  // frame XYZ along the axes), Angstrom, with masses and atomic numbers.
  AtomTable atoms;
  BestAngles best;                // the found Euler angles, radians
  Vec3 c1;                        // molecule 1's centre of mass
  std::array<Vec3, 3> endpoints;  // molecule 1's axis end points z, y, x
  Vec3 c2;                        // molecule 2's centre of mass, as re-measured
};

// The builder's stages after the analysis (placement, short contacts,
// result files). The core stays free of them. Returns the placed pair's
// values: r, theta and phi re-measured, the user's Euler angles.
class PlacementStage {
 public:
  virtual ~PlacementStage() = default;
  virtual PairValues run(Session& session, const AnalysedPair& pair,
                         const std::vector<Label>& isymbol) = 0;
};

// Each molecule's principal axes from the first pass, in the input's
// coordinates (kavor::PrincipalAxes): `known` once both molecules were analysed.
struct FirstAxes {
  std::array<PrincipalAxes, 2> molecules{};
  bool known = false;
};

struct ParamResult {
  Status status = Status::ok;  // the orderly stop that ended the run, or ok
  // Analyzer: r, theta in [0, pi] and phi in (-pi, pi] as computed; the
  // Euler angles after the full-turn rules. Builder: what the placement
  // returned.
  PairValues measured;
  // Analyzer: the values the program returns and names its files by: phi
  // moved into [0, 2 pi), and any angle above 359.5 degrees set to 0.
  PairValues returned;
  std::string name;  // analyzer: the result files' name, "[0005.2-...-038)"
  FirstAxes first;   // filled even when a later step stopped the run
  // What the run wrote to the console, in order: the warnings of fits that
  // went on, then the stop's message lines.
  std::vector<std::string> said;
};

// Runs the core on the first `n` rows of `coo_and_m`, molecule 1 the first
// `n1`, in the session's mode. An orderly stop writes its messages and
// returns its code; input and output errors are thrown.
ParamResult param(int n, int n1, const std::vector<Label>& isymbol, const AtomTable& coo_and_m,
                  Session& session, PlacementStage* placement = nullptr);

// The pieces, for tests.
// Molecule 2's frame onto the coordinate axes: the fit's rotation applied to
// `axes` about CM2 (which goes to the origin).
struct Alignment {
  Mat3 rotation;
  PairAxes axes;
  double beta = 0.0;  // angle between z and Z afterwards, radians
  std::vector<std::string> said;  // console lines of warnings that let the run go on
};
Alignment alignment_pass(Session& session, const PairAxes& axes, int pass, BestAngles& best);
// Molecule 2's frame onto molecule 1's: the Euler angles in `best`.
void euler_search(Session& session, const PairAxes& axes, double beta, BestAngles& best);
// Molecule 1's centre in frame XYZ: r (Angstrom), theta in [0, pi], phi in (-pi, pi].
PairValues relative_position(const PairAxes& axes);

}  // namespace kavor
