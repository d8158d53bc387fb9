#include "core/param.hpp"

#include <cmath>

#include "core/elements.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/frames.hpp"
#include "core/inertia.hpp"
#include "core/naming.hpp"
#include "core/pow_half.hpp"
#include "core/writers.hpp"

namespace kavor {

namespace {

double length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// What a grid fit did, kept for the report and the stops once it has ended:
// each iteration's candidate counter and, while a report is written, every
// candidate and every new window in the order they came.
class FitTrace : public FitObserver {
 public:
  explicit FitTrace(bool keep_events) : keep_events_(keep_events) {}

  struct Event {
    bool is_window = false;
    FitCandidate candidate{};
    FitWindow window{};
    BestAngles best{};  // after the iteration (windows only)
  };

  void on_candidate(const FitCandidate& c) override {
    if (keep_events_) events.push_back(Event{false, c, {}, {}});
  }
  bool wants_candidates() const override { return keep_events_; }
  void on_scan_end(int iteration, int counter) override { counters[iteration - 1] = counter; }
  void on_window(const FitWindow& w, const BestAngles& best) override {
    if (keep_events_) events.push_back(Event{true, {}, w, best});
  }

  std::array<int, kFitIterations> counters{};
  std::vector<Event> events;

 private:
  bool keep_events_;
};

// An alignment fit reports nothing unless an iteration ends without a best:
// a warning on the console (kept in `said` too) and in the report; after the
// second alignment the run stops there.
void write_alignment_warnings(Session& session, const FitTrace& trace, int pass,
                              std::vector<std::string>& warnings) {
  for (int iteration = 1; iteration <= kFitIterations; ++iteration) {
    if (trace.counters[iteration - 1] != 0) continue;
    std::vector<std::string> said;  // console lines: a warning, or with the stop
    said.push_back(free_line("  "));
    for (int i = 0; i < 6; ++i) said.push_back(free_line(" WARNING  "));
    for (const char* line : {"  ", " WARNING - NO GUESS ANGLE FOUND IN FIT PROCEDURE - ",
                             " problem in : AXES ALIGNMENT ", "  ",
                             " issue related to: ", " soma_diferencas and parametro_diferencas ",
                             " best_z1,best_x1,best_y1 nao receberam valor algum "})
      said.push_back(free_line(line));
    Report& report = session.report;
    report.free("  ");
    for (int i = 0; i < 6; ++i) report.free(" WARNING ");
    report.free("  ");
    report.free(" WARNING - NO GUESS ANGLE FOUND IN FIT PROCEDURE - ");
    report.free(" problem in : AXES ALIGNMENT ");
    report.free("  ");
    report.free(" issue related to: ");
    report.free(" soma_diferencas and parametro_diferencas ");
    report.free(" best_z1,best_x1,best_y1 nao receberam valor algum");
    report.free("  ");
    if (pass != 1) {
      for (const std::string& line : said) session.say(line);
      warnings.insert(warnings.end(), said.begin(), said.end());
      continue;
    }
    static const char* const kError[] = {"  ",
                                         " AFTER SECOND AXES ALIGNMENT ",
                                         "  ",
                                         "  ",
                                         " ERROR - NO GUESS ANGLE FOUND IN FIT PROCEDURE - ",
                                         " problem in : AXES ALIGNMENT ",
                                         "  ",
                                         " issue related to: ",
                                         " soma_diferencas and parametro_diferencas "};
    for (const char* line : kError) said.push_back(free_line(line));
    said.push_back(free_line(" best_z1,best_x1,best_y1 nao receberam valor algum "));
    for (const char* line : kError) report.free(line);
    report.free(" best_z1,best_x1,best_y1 nao receberam valor algum");
    report.free("  ");
    said.push_back(free_line("  "));
    session.stop(Status::alignment_failed, std::move(said));
  }
}

void write_euler_candidate(Report& report, const FitCandidate& c) {
  auto deg = [](double rad) { return rad * 180.0 / kPi; };
  report.free("  ");
  report.free("  ");
  report.free("cosEixosZ", c.cos_z, "angle Z", deg(std::acos(c.cos_z)));
  report.free("cosEixosX", c.cos_x, "angle x", deg(std::acos(c.cos_x)));
  report.free("cosEixosY", c.cos_y, "angle Y", deg(std::acos(c.cos_y)));
  report.free("  ");
  report.free("  ");
  report.free(" evaluated through tangent- DEGREES ");
  report.free("angle betw Zs", c.dz);
  report.free("angle betw Xs", c.dx);
  report.free("angle betw Ys", c.dy);
  report.free("  ");
  report.free("  ");
  report.free(" ENCONTRADOs ANGULOS verif.=90");
  report.free(" verificador ", c.verificador);
  report.free("  ");
  report.free(" aproximation: ");
  report.free(" alpha ", deg(c.alpha));
  report.free(" beta  ", deg(c.beta));
  report.free(" gamma ", deg(c.gamma));
  report.free("  ");
  report.free(" ======================================= ");
  report.free(" soma_diferencas (DEGREES)", c.soma_diferencas);
  report.free("-----------------------------------");
  report.free(" parametro_difer", c.parametro_before);
  report.free("-----------------------------------");
  report.free(" ======================================= ");
}

void write_euler_window(Report& report, const FitWindow& w, const BestAngles& best, Mode mode) {
  const bool builder = mode == Mode::builder;
  auto fit_line = [&](const char* text, double angle) {
    report.free(text, std::lround(kDegPerRad * angle));
    if (builder) report.free(text, kDegPerRad * angle);
    report.free("  ");
  };
  fit_line("alpha fit ALIGNMENT", best.alpha);
  fit_line("beta  fit ALIGNMENT", best.beta);
  fit_line("gamma fit ALIGNMENT", best.gamma);
  report.free("  ");
  report.free(" smaller dif. betw. Z axes - DEGREES:", best.best_z1);
  report.free(
      builder ? " smaller dif. betw. x axes - DEGREES:" : " smaller dif. betw. X axes - DEGREES:",
      best.best_x1);
  report.free(" smaller dif. betw. Y axes - DEGREES:", best.best_y1);
  report.free("  ");
  report.free(" menor soma de dif. ", best.best_z1 + best.best_x1 + best.best_y1);
  report.free("  ");
  report.free(" ############################ ");
  report.free(" iteracao ", w.iteration);
  report.free("  ");
  report.free(" ================================================== ");
  report.free(" condicoes iniciais - iteracao:", w.iteration);
  if (builder) report.free(" alpha initical ", w.alpha0);
  report.free(" alpha initical DEG", kDegPerRad * w.alpha0);
  if (builder) report.free(" beta initial ", w.beta);
  report.free(" beta initial DEG", kDegPerRad * w.beta);
  if (builder) report.free(" gamma inicail ", w.gamma0);
  report.free(" gamma inicail DEG", kDegPerRad * w.gamma0);
  report.free(" incremento ", w.step);
  report.free(" limite superior do scan ", w.n);
  report.free(" ================================================== ");
}

// The Euler search's account: every candidate and window in order. A first
// iteration without a candidate ends the run before its window.
void write_euler_trace(Session& session, const FitTrace& trace) {
  const bool not_found = trace.counters[0] == 0;
  for (const FitTrace::Event& event : trace.events) {
    if (!event.is_window) {
      write_euler_candidate(session.report, event.candidate);
      continue;
    }
    if (not_found && event.window.iteration == 1) break;
    write_euler_window(session.report, event.window, event.best, session.mode);
  }
  if (!not_found) return;
  for (int i = 0; i < 3; ++i) session.logf(" ERROR - EULER ANGLES NOT FOUND ");
  session.logf(" tipico erro com verificador ");
  session.logf(" habilitar EULER ISSUE e verif. right handed part");
  session.logf(" ERROR - EULER ANGLES NOT FOUND ");
  session.stop(Status::euler_not_found,
               std::vector<std::string>(4, free_line(" ERROR - EULER ANGLES NOT FOUND ")));
}

// A molecule none of whose labels names an element has no mass and no
// centre: refuse it before any report line instead of dividing by zero.
void check_identified(Session& session, const AtomTable& coo_and_m, int n, int n1) {
  bool ok[2] = {false, false};
  for (int i = 0; i < n; ++i)
    if (coo_and_m[i].znum != 0.0) ok[i < n1 ? 0 : 1] = true;
  if (ok[0] && ok[1]) return;
  std::vector<std::string> said;
  if (!ok[0]) said.push_back(free_line(" molecule 1 has no recognised element label "));
  if (!ok[1]) said.push_back(free_line(" molecule 2 has no recognised element label "));
  session.stop(Status::no_element, std::move(said));
}

double angle_between(const Vec3& a, const Vec3& b) {
  const double la = length(a), lb = length(b);
  return std::atan2(length(cross(a, b)) / (la * lb), dot(a, b) / (la * lb));
}

// Both molecules analysed, then written up; a tensor that overflowed ends
// the run after its molecule's section.
std::array<MoleculeInertia, 2> analyse_molecules(Session& session, const AtomTable& coo_and_m,
                                                 int n, int n1) {
  std::array<MoleculeInertia, 2> molecules{principal_axes(coo_and_m, 0, n1),
                                           principal_axes(coo_and_m, n1, n)};
  for (int k = 0; k < 2; ++k) {
    const MoleculeInertia& m = molecules[k];
    open_report(session);
    write_centre_and_tensor(session.report, m, k);
    if (!m.finite)
      throw InputError("molecule " + std::to_string(k + 1) +
                       ": coordinates too large to analyse (the inertia tensor is not finite)");
    write_principal_moments(session.report, m, k);
  }
  return molecules;
}

// Centres, moments (amu Angstrom^2) and axes of a pass, in frame order
// x, y, z / X, Y, Z: each axis the solver's unit eigenvector, turned as its
// end point in `axes` stands.
FirstAxes principal_axes_of(const std::array<MoleculeInertia, 2>& molecules, const PairAxes& axes) {
  constexpr double kAmuA2PerGCm2 = 1.0 / (kGramsPerAmu * kCmPerAngstrom * kCmPerAngstrom);
  static const int kFrameOrder[2][3] = {{kAxis_x, kAxis_y, kAxis_z}, {kAxis_X, kAxis_Y, kAxis_Z}};
  FirstAxes first;
  for (int k = 0; k < 2; ++k) {
    PrincipalAxes& m = first.molecules[k];
    const Vec3& c = axes.cm[k];
    m.centre = {c.x, c.y, c.z};
    for (int j = 0; j < 3; ++j) m.moments[j] = molecules[k].moments[j] * kAmuA2PerGCm2;
    for (int j = 0; j < 3; ++j) {
      const int end = kFrameOrder[k][j];
      const Vec3& e = molecules[k].eigvec[end - 3 * k];
      const Vec3 e_signed = dot(sub(axes.endpoints[end], c), e) < 0.0 ? neg(e) : e;
      m.axes[j] = {e_signed.x, e_signed.y, e_signed.z};
    }
  }
  first.known = true;
  return first;
}

// Near beta 0 or 180 degrees the refined windows let alpha or gamma slide up
// to about 6 degrees past a full turn (iteration 2 reaches 213 steps of
// 0.0005 rad above iteration 1's best). One whole turn less keeps that
// orientation; left as it is, the rules below would set it to 0. Angles that
// round to 360 degrees or less are untouched.
void back_one_turn(double& angle) {
  if (std::lround(angle * 180.0 / kPi) > 360) angle -= kTwoPi;
}

// The analyzer's final values: the full-turn rules on the Euler angles, then
// the returned values.
void final_values(const BestAngles& best, const PairValues& position, ParamResult& result) {
  auto full_turn = [](double& angle) {
    if (std::lround(angle * 180.0 / kPi) == 360) angle = 0.0;
  };
  PairValues& m = result.measured;
  m = position;
  m.alpha = best.alpha;
  m.beta = best.beta;
  m.gamma = best.gamma;
  back_one_turn(m.alpha);
  back_one_turn(m.gamma);
  full_turn(m.alpha);
  full_turn(m.beta);
  full_turn(m.gamma);

  PairValues& ret = result.returned;
  ret = m;
  if (ret.phi < 0.0) ret.phi = ret.phi + kTwoPi;
  for (double* value : {&ret.alpha, &ret.beta, &ret.gamma, &ret.phi})
    if (kDegPerRad * *value > 359.5) *value = 0.0;
}

void write_file_name_values(Report& report, const PairValues& v) {
  report.free(" &&& adapted values  ");
  report.free(" valores para escrita de nome de arquivo ");
  report.free("       ");
  report.free(" r     ", v.r);
  report.free(" theta ", std::lround(kDegPerRad * v.theta));
  report.free(" phi   ", std::lround(kDegPerRad * v.phi));
  report.free("       ");
  report.free(" alpha ", std::lround(kDegPerRad * v.alpha));
  report.free(" beta  ", std::lround(kDegPerRad * v.beta));
  report.free(" gamma ", std::lround(kDegPerRad * v.gamma));
  report.free("       ");
}

void write_analyzer_files(Session& session, const AtomTable& aligned,
                          const std::vector<Label>& isymbol, const PairAxes& axes,
                          const ParamResult& result, const ResultNames& names) {
  OutputFile geometry, bild;
  geometry.open(session.file(names.geometry));
  bild.open(session.file(names.bild));
  write_geometry(geometry, static_cast<int>(aligned.size()), aligned, isymbol, Mode::analyzer);
  // Molecule 1's centre rebuilt from the measured position (as computed,
  // before any rounding rule), so the arrows sit where the atoms are.
  const PairValues& m = result.measured;
  const Vec3 rebuilt = centre_from_spherical(m.r, m.theta, m.phi);
  write_bild(bild, axes.cm[0], rebuilt, {axes.endpoints[0], axes.endpoints[1], axes.endpoints[2]});
  session.stage(geometry);
  session.stage(bild);
}

AnalysedPair analysed_pair(const AtomTable& aligned, int n1, const PairAxes& axes,
                           const BestAngles& best) {
  AnalysedPair pair;
  pair.n = static_cast<int>(aligned.size());
  pair.n1 = n1;
  pair.atoms = aligned;
  pair.best = best;
  pair.c1 = axes.cm[0];
  pair.endpoints = {axes.endpoints[0], axes.endpoints[1], axes.endpoints[2]};
  // Molecule 2 does not move: its centre is the same for every placement.
  pair.c2 = centre_of_mass(pair.atoms, pair.n1, pair.n);
  return pair;
}

// The run up to the final values; the first pass's axes go to `result`
// as soon as they are known.
void run_core(int n, int n1, std::vector<Label>& isymbol, AtomTable& table, Session& session,
              PlacementStage* placement, ParamResult& result) {
  const Mode mode = session.mode;
  identify_elements(n, isymbol, table, mode);
  check_identified(session, table, n, n1);

  // `table` holds the pair in the coordinates of the current pass: as given,
  // then after each alignment (molecule 2's centre at the origin, its frame
  // along the axes).
  BestAngles best;
  PairAxes axes;
  double beta = 0.0;
  for (int pass = 0; pass < 3; ++pass) {
    const std::array<MoleculeInertia, 2> molecules = analyse_molecules(session, table, n, n1);
    const PairAxes table_axes = end_point_table(molecules);
    // The solver's signs, should the frames stop the run.
    if (pass == 0) result.first = principal_axes_of(molecules, table_axes);
    write_initial_data(session.report, table_axes);
    write_verification(session.report, molecules, table_axes);

    const RightHandedFrames frames = build_frames(session, molecules, table_axes, pass).frames;
    // Oriented and right-handed.
    if (pass == 0) result.first = principal_axes_of(molecules, frames.axes);

    const Alignment aligned = alignment_pass(session, frames.axes, pass, best);
    result.said.insert(result.said.end(), aligned.said.begin(), aligned.said.end());
    const Vec3 cm2 = frames.axes.cm[1];
    // After the last pass only the builder's placement and the analyzer's
    // result files read the table.
    const bool table_read = pass < 2 || mode == Mode::builder || session.write_files;
    for (int i = 0; table_read && i < n; ++i) {
      Atom& a = table[i];
      const Vec3 p = mul(aligned.rotation, Vec3{a.x - cm2.x, a.y - cm2.y, a.z - cm2.z});
      a.x = p.x;
      a.y = p.y;
      a.z = p.z;
    }
    axes = aligned.axes;
    beta = aligned.beta;
    session.logf("  ");
  }

  euler_search(session, axes, beta, best);
  const PairValues position = relative_position(axes);

  if (mode == Mode::builder) {
    if (placement != nullptr)
      result.measured = placement->run(session, analysed_pair(table, n1, axes, best), isymbol);
    return;
  }

  final_values(best, position, result);
  if (std::lround(kDegPerRad * result.returned.beta) == 0) {
    session.logf("  ");
    session.logf("  ");
    for (int i = 0; i < 4; ++i) session.logf("WARNING:  for beta = zero, gamma = 0 ");
    session.logf("  ");
    session.logf("  ");
  }
  write_file_name_values(session.report, result.returned);
  const PairValues& ret = result.returned;
  const ResultNames names =
      build_result_names(session, ret.r, ret.theta, ret.phi, ret.alpha, ret.beta, ret.gamma);
  result.name = names.name;
  if (session.write_files) write_analyzer_files(session, table, isymbol, axes, result, names);
}

}  // namespace

Alignment alignment_pass(Session& session, const PairAxes& axes, int pass, BestAngles& best) {
  const Vec3 cm2 = axes.cm[1];
  FitSetup setup;
  setup.source = FitAxes{sub(axes.endpoints[kAxis_X], cm2), sub(axes.endpoints[kAxis_Y], cm2),
                         sub(axes.endpoints[kAxis_Z], cm2)};
  setup.target = FitAxes{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  const Vec3& big_z = setup.source.z;
  const Vec3 e3{0.0, 0.0, 1.0};
  setup.beta = std::atan2(length(cross(big_z, e3)) / length(big_z), dot(big_z, e3) / length(big_z));
  setup.use = FitUse::alignment;
  setup.mode = session.mode;
  FitTrace trace(false);
  grid_fit(setup, best, trace);
  Alignment out;
  write_alignment_warnings(session, trace, pass, out.said);

  out.rotation = euler_matrix(best.alpha, best.beta, best.gamma);
  for (int k = 0; k < 6; ++k)
    out.axes.endpoints[k] = mul(out.rotation, sub(axes.endpoints[k], cm2));
  out.axes.cm[0] = mul(out.rotation, sub(axes.cm[0], cm2));
  out.axes.cm[1] = Vec3{0.0, 0.0, 0.0};
  out.beta = angle_between(sub(out.axes.endpoints[kAxis_z], out.axes.cm[0]),
                           sub(out.axes.endpoints[kAxis_Z], out.axes.cm[1]));
  return out;
}

void euler_search(Session& session, const PairAxes& axes, double beta, BestAngles& best) {
  const std::string hashes = " ############################################# ";
  session.logf(hashes);
  session.logf(hashes);
  session.logf("  ");
  for (int group = 0; group < 3; ++group) {
    for (int i = 0; i < 3; ++i) session.logf(" search for Euler angles ");
    session.logf("  ");
  }
  for (int i = 0; i < 4; ++i) session.logf(hashes);
  session.logf("  ");

  FitSetup setup;
  const Vec3& cm1 = axes.cm[0];
  const Vec3& cm2 = axes.cm[1];
  setup.source = FitAxes{sub(axes.endpoints[kAxis_X], cm2), sub(axes.endpoints[kAxis_Y], cm2),
                         sub(axes.endpoints[kAxis_Z], cm2)};
  setup.target = FitAxes{sub(axes.endpoints[kAxis_x], cm1), sub(axes.endpoints[kAxis_y], cm1),
                         sub(axes.endpoints[kAxis_z], cm1)};
  setup.beta = beta;
  setup.use = FitUse::euler;
  setup.mode = session.mode;
  FitTrace trace(session.logging());
  grid_fit(setup, best, trace);
  write_euler_trace(session, trace);

  session.logf("================================");
  session.logf(" angulos de Euler obtidos ");
  session.logf("================================");
}

PairValues relative_position(const PairAxes& axes) {
  const Vec3& c1 = axes.cm[0];
  const Vec3& c2 = axes.cm[1];
  const double dx = c2.x - c1.x, dy = c2.y - c1.y, dz = c2.z - c1.z;
  PairValues v;
  v.r = pow_half(dx * dx + dy * dy + dz * dz);
  v.theta = std::acos(c1.z / v.r);
  v.phi = std::atan2(c1.y, c1.x);
  return v;
}

ParamResult param(int n, int n1, const std::vector<Label>& isymbol, const AtomTable& coo_and_m,
                  Session& session, PlacementStage* placement) {
  ParamResult result;
  std::vector<Label> labels(isymbol.begin(), isymbol.begin() + n);
  AtomTable table(coo_and_m.begin(), coo_and_m.begin() + n);
  try {
    run_core(n, n1, labels, table, session, placement, result);
  } catch (ProgramStop& stop) {
    result.status = stop.code;
    result.said.insert(result.said.end(), std::make_move_iterator(stop.lines.begin()),
                       std::make_move_iterator(stop.lines.end()));
  }
  return result;
}

}  // namespace kavor
