// The analysis core's entry `param`: identification, three alignment passes
// of the per-molecule analysis, the Euler search, the relative position and
// the final values, then the analyzer's result files or the builder's
// placement.
#pragma once

#include <string>
#include <vector>

#include "core/atoms.hpp"
#include "core/session.hpp"
#include "core/state.hpp"
#include "kavor/kavor.hpp"

namespace kavor {

// The core's parameter list after the atom count, N1, labels and table.
// Angles in radians, distances in Angstrom.
struct ParamArgs {
  double r = 0.0;                 // 5: distance between the centres of mass
  double full_turn_alpha = 0.0;   // 6-8: analyzer: angles after the full-turn rule;
  double full_turn_beta = 0.0;    //      builder: the user's angles on return
  double full_turn_gamma = 0.0;
  char mode_flag = 'n';           // 9: 'y' builder, anything else analyzer
  double theta = 0.0;             // 10: polar angle of molecule 1 in frame XYZ, [0, pi]
  double phi = 0.0;               // 11: azimuth as computed, (-pi, pi]
  double ret_theta = 0.0;         // 12-17: analyzer: returned values;
  double ret_phi = 0.0;           //        builder: the user's values going in
  double ret_alpha = 0.0;
  double ret_beta = 0.0;
  double ret_gamma = 0.0;
  double ret_r = 0.0;
  std::string result_name;  // analyzer: the result files' name, "[0005.2-...-038)"
};

// The builder's stages after the final values (placement, short contacts,
// result files). The core stays free of them.
class PlacementStage {
 public:
  virtual ~PlacementStage() = default;
  virtual void run(CoreState& st, AtomTable& coo_and_m, std::vector<Label>& isymbol,
                   ParamArgs& args) = 0;
};

// Each molecule's principal axes from the first pass, in the input's
// coordinates (kavor::PrincipalAxes): `known` once both molecules were analysed.
struct FirstAxes {
  std::array<PrincipalAxes, 2> molecules{};
  bool known = false;
};

// Runs the core on the first `n` rows, molecule 1 the first `n1`. May end
// the run with ProgramStop after writing its messages.
void param(int n, int n1, std::vector<Label>& isymbol, AtomTable& coo_and_m, ParamArgs& args,
           Session& session, PlacementStage* placement = nullptr, FirstAxes* first = nullptr);

// The pieces, for tests.
void alignment_pass(CoreState& st, AtomTable& coo_and_m);
void euler_search(CoreState& st);
void relative_position(const CoreState& st, double& r, double& theta, double& phi);

}  // namespace kavor
