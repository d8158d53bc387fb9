#include "core/analysis.hpp"

#include <cmath>
#include <limits>
#include <sstream>

#include "core/euler.hpp"
#include "core/fragments.hpp"
#include "core/naming.hpp"
#include "core/summary.hpp"

namespace kavor {

bool PairResult::theta_defined() const { return values.ret_r > kNoDirectionDistance; }
bool PairResult::phi_defined() const {
  return theta_defined() && theta_deg != 0 && theta_deg != 180;
}

PairResult analyse_pair(const GeometryBlock& block, Session& session, ParamArgs args,
                        PlacementStage* placement) {
  PairResult result;
  try {
    stop_on_atom_counts(session, block);
    args.mode_flag = session.mode == Mode::builder ? 'y' : 'n';
    std::vector<Label> isymbol = block.isymbol;
    AtomTable table = block.icoo_and_m;
    param(block.n, block.n1, isymbol, table, args, session, placement, &result.first);
  } catch (const ProgramStop& stop) {
    result.status = stop.code;
  }
  result.values = args;
  result.name = args.result_name;
  result.theta_deg = std::lround(kDegPerRad * args.ret_theta);
  result.phi_deg = std::lround(kDegPerRad * args.ret_phi);
  result.alpha_deg = std::lround(kDegPerRad * args.ret_alpha);
  result.beta_deg = std::lround(kDegPerRad * args.ret_beta);
  result.gamma_deg = std::lround(kDegPerRad * args.ret_gamma);
  return result;
}

void table_values(const PairResult& a, double out[6]) {
  const double undefined = std::numeric_limits<double>::quiet_NaN();
  for (int k = 0; k < 6; ++k) out[k] = undefined;
  if (!a.ok()) return;
  const ParamArgs& v = a.values;
  out[0] = v.ret_r;
  if (a.theta_defined()) out[1] = kDegPerRad * v.ret_theta;
  if (a.phi_defined()) out[2] = kDegPerRad * v.ret_phi;
  out[3] = kDegPerRad * v.ret_alpha;
  out[4] = kDegPerRad * v.ret_beta;
  out[5] = kDegPerRad * v.ret_gamma;
}

PairResult analyse_quietly(const GeometryBlock& block, Mode mode, PlacementStage* placement,
                           ParamArgs args, std::string* report_text) {
  std::ostringstream console;
  Session session(console, ".", mode);
  session.write_files = false;
  session.report_text = report_text;
  PairResult result = analyse_pair(block, session, args, placement);
  const std::string text = console.str();
  if (!text.empty()) result.message = join_console_lines(text);
  return result;
}

PairResult analyse_frame(const GeometryBlock& block) {
  try {
    return analyse_quietly(block);
  } catch (const InputError& e) {
    PairResult result;
    result.status = Status::coordinates;
    result.message = e.what();
    return result;
  }
}

Status resolve_n1(GeometryBlock& block, std::optional<int> n1, std::string& message) {
  if (n1) {
    block.n1 = *n1;
    return Status::ok;
  }
  LeadingFragment fragment = leading_fragment(block);
  if (fragment.n1 == 0) {
    message = std::move(fragment.message);
    return Status::n1_not_found;
  }
  block.n1 = fragment.n1;
  return Status::ok;
}

PairResult analyse_frame(GeometryBlock& block, std::optional<int> n1) {
  PairResult result;
  if (block.n > kCapacity) {
    result.status = Status::too_many_atoms;
    result.message = "max number of atoms -150000- exceeded";
    return result;
  }
  result.status = resolve_n1(block, n1, result.message);
  if (!result.ok()) return result;
  return analyse_frame(block);
}

}  // namespace kavor
