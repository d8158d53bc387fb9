// The one door onto the analysis: a pair held in memory in, the six
// placement parameters (or the orderly stop that ended the run) out.
// Both programs, the batch program and the Python package go through it.
#pragma once

#include <optional>
#include <string>

#include "core/errors.hpp"
#include "core/geometry_input.hpp"
#include "core/param.hpp"
#include "core/session.hpp"

namespace kavor {

struct PairResult {
  Status status = Status::ok;  // none: analysed
  // Analyzer: the measured and the returned values (see ParamResult).
  // Builder: `measured` as the placement returned it.
  PairValues measured;
  PairValues returned;
  std::string name;  // "[0005.2-092-082]-(023-132-038)": the result files' name
  // Whole degrees as the analyzer's summary shows them (half away from zero).
  long theta_deg = 0, phi_deg = 0, alpha_deg = 0, beta_deg = 0, gamma_deg = 0;
  // What the run wrote to the console (warnings, then a stop's lines), as
  // one line (join_console_lines).
  std::string message;
  // Each molecule's principal axes from the first pass.
  FirstAxes first;

  bool ok() const { return status == Status::ok; }
  // theta has a meaning when r exceeds 0.099999 Angstrom; phi also needs
  // theta off the polar axis (whole degrees not 0 or 180).
  bool theta_defined() const;
  bool phi_defined() const;
};

// Checks the atom counts, then runs the core in the session's mode. An
// orderly stop returns its code; its message lines are on the session's
// console and, once open, in its report. Input and output errors are thrown.
// With session.write_files off no report line is formatted and no file is
// written. `placement` is the builder's stage after the analysis.
PairResult analyse_pair(const GeometryBlock& block, Session& session,
                        PlacementStage* placement = nullptr);

// The library's view of a result: the six values as the batch writes them
// (degrees; NaN where its field is empty), the name and the molecules.
Analysis public_analysis(const PairResult& result);

// Analyser-mode analysis without report, files or console; a stop's text
// goes to `message`.
// With `report_text` the report is kept there. Without `with_name` the
// result's name stays empty (see Session::want_name).
PairResult analyse_quietly(const GeometryBlock& block, Mode mode = Mode::analyzer,
                           PlacementStage* placement = nullptr, std::string* report_text = nullptr,
                           bool with_name = true);

// One frame of a batch: analyse_quietly, with coordinates too large to
// analyse given as the stop `coordinates` instead of an exception.
PairResult analyse_frame(const GeometryBlock& block);
// The same for a frame without N1 of its own: molecule 1 is the first `n1`
// atoms, or, with no n1, the bonded fragment of the first atom
// (leading_fragment; stop n1_not_found when there is none). A frame above
// the capacity stops with too_many_atoms before anything else.
PairResult analyse_frame(GeometryBlock& block, std::optional<int> n1, bool with_name = true);
// Sets block.n1 to `n1`, or with none to the bonded fragment of the first
// atom: ok, or n1_not_found with leading_fragment's message.
Status resolve_n1(GeometryBlock& block, std::optional<int> n1, std::string& message);

// r (Angstrom) and theta, phi, alpha, beta, gamma in degrees as tables show
// them: kDegPerRad times the returned radians; NaN for an undefined angle
// and for every value of a stopped analysis.
void table_values(const PairResult& analysis, double out[6]);

}  // namespace kavor
