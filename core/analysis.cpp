#include "core/analysis.hpp"

#include <cmath>
#include <limits>
#include <ostream>

#include "core/euler.hpp"
#include "core/fragments.hpp"
#include "core/naming.hpp"
#include "core/summary.hpp"

namespace kavor {

bool PairResult::theta_defined() const { return returned.r > kNoDirectionDistance; }
bool PairResult::phi_defined() const {
  return theta_defined() && theta_deg != 0 && theta_deg != 180;
}

PairResult analyse_pair(const GeometryBlock& block, Session& session, PlacementStage* placement) {
  PairResult result;
  try {
    stop_on_atom_counts(session, block);
  } catch (const ProgramStop& stop) {
    result.status = stop.code;
    result.message = join_console_lines(stop.lines);
    return result;
  }
  ParamResult core = param(block.n, block.n1, block.isymbol, block.icoo_and_m, session, placement);
  result.status = core.status;
  result.measured = core.measured;
  result.returned = core.returned;
  result.name = std::move(core.name);
  result.first = core.first;
  result.message = join_console_lines(core.said);
  const PairValues& ret = result.returned;
  result.theta_deg = std::lround(kDegPerRad * ret.theta);
  result.phi_deg = std::lround(kDegPerRad * ret.phi);
  result.alpha_deg = std::lround(kDegPerRad * ret.alpha);
  result.beta_deg = std::lround(kDegPerRad * ret.beta);
  result.gamma_deg = std::lround(kDegPerRad * ret.gamma);
  return result;
}

void table_values(const PairResult& a, double out[6]) {
  const double undefined = std::numeric_limits<double>::quiet_NaN();
  for (int k = 0; k < 6; ++k) out[k] = undefined;
  if (!a.ok()) return;
  const PairValues& v = a.returned;
  out[0] = v.r;
  if (a.theta_defined()) out[1] = kDegPerRad * v.theta;
  if (a.phi_defined()) out[2] = kDegPerRad * v.phi;
  out[3] = kDegPerRad * v.alpha;
  out[4] = kDegPerRad * v.beta;
  out[5] = kDegPerRad * v.gamma;
}

PairResult analyse_quietly(const GeometryBlock& block, Mode mode, PlacementStage* placement,
                           std::string* report_text, bool with_name) {
  // The console's lines come back in the result: nothing is written. One
  // stream without a buffer, and the directory, per thread rather than per run.
  thread_local std::ostream nowhere(nullptr);
  thread_local const std::filesystem::path here(".");
  Session session(nowhere, here, mode);
  session.write_files = false;
  session.want_name = with_name;
  if (report_text != nullptr) session.report.send_to_text(report_text);
  return analyse_pair(block, session, placement);
}

// analyse_frame, with or without the result's name.
static PairResult analyse_frame_named(const GeometryBlock& block, bool with_name) {
  try {
    return analyse_quietly(block, Mode::analyzer, nullptr, nullptr, with_name);
  } catch (const InputError& e) {
    PairResult result;
    result.status = Status::coordinates;
    result.message = e.what();
    return result;
  }
}

PairResult analyse_frame(const GeometryBlock& block) { return analyse_frame_named(block, true); }

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

PairResult analyse_frame(GeometryBlock& block, std::optional<int> n1, bool with_name) {
  PairResult result;
  if (block.n > kCapacity) {
    result.status = Status::too_many_atoms;
    result.message = "max number of atoms -150000- exceeded";
    return result;
  }
  result.status = resolve_n1(block, n1, result.message);
  if (!result.ok()) return result;
  return analyse_frame_named(block, with_name);
}

}  // namespace kavor
