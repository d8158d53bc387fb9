#include "core/param.hpp"

#include <cmath>

#include "core/elements.hpp"
#include "core/errors.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/frames.hpp"
#include "core/inertia.hpp"
#include "core/naming.hpp"
#include "core/writers.hpp"

namespace kavor {

namespace {

double length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The alignment fit reports nothing unless a fit finds no best.
class AlignmentObserver : public FitObserver {
 public:
  explicit AlignmentObserver(CoreState& st) : st_(st) {}
  void on_scan_end(int, int counter) override {
    if (counter != 0) return;
    std::vector<std::string> said;  // console lines: a warning, or with the stop
    said.push_back(free_line("  "));
    for (int i = 0; i < 6; ++i) said.push_back(free_line(" WARNING  "));
    for (const char* line : {"  ", " WARNING - NO GUESS ANGLE FOUND IN FIT PROCEDURE - ",
                             " problem in : AXES ALIGNMENT ", "  ",
                             " issue related to: ", " soma_diferencas and parametro_diferencas ",
                             " best_z1,best_x1,best_y1 nao receberam valor algum "})
      said.push_back(free_line(line));
    st_.logf("  ");
    for (int i = 0; i < 6; ++i) st_.logf(" WARNING ");
    st_.logf("  ");
    st_.logf(" WARNING - NO GUESS ANGLE FOUND IN FIT PROCEDURE - ");
    st_.logf(" problem in : AXES ALIGNMENT ");
    st_.logf("  ");
    st_.logf(" issue related to: ");
    st_.logf(" soma_diferencas and parametro_diferencas ");
    st_.logf(" best_z1,best_x1,best_y1 nao receberam valor algum");
    st_.logf("  ");
    if (st_.pass != 1) {
      for (const std::string& line : said) st_.say(line);
      return;
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
    for (const char* line : kError) st_.logf(line);
    st_.logf(" best_z1,best_x1,best_y1 nao receberam valor algum");
    st_.logf("  ");
    said.push_back(free_line("  "));
    st_.session.stop(Status::alignment_failed, std::move(said));
  }

 private:
  CoreState& st_;
};

class EulerObserver : public FitObserver {
 public:
  explicit EulerObserver(CoreState& st) : st_(st) {}

  void on_candidate(const FitCandidate& c) override {
    if (!st_.logging()) return;
    auto deg = [](double rad) { return rad * 180.0 / kPi; };
    st_.logf("  ");
    st_.logf("  ");
    st_.logf("cosEixosZ", c.cos_z, "angle Z", deg(std::acos(c.cos_z)));
    st_.logf("cosEixosX", c.cos_x, "angle x", deg(std::acos(c.cos_x)));
    st_.logf("cosEixosY", c.cos_y, "angle Y", deg(std::acos(c.cos_y)));
    st_.logf("  ");
    st_.logf("  ");
    st_.logf(" evaluated through tangent- DEGREES ");
    st_.logf("angle betw Zs", c.dz);
    st_.logf("angle betw Xs", c.dx);
    st_.logf("angle betw Ys", c.dy);
    st_.logf("  ");
    st_.logf("  ");
    st_.logf(" ENCONTRADOs ANGULOS verif.=90");
    st_.logf(" verificador ", c.verificador);
    st_.logf("  ");
    st_.logf(" aproximation: ");
    st_.logf(" alpha ", deg(c.alpha));
    st_.logf(" beta  ", deg(c.beta));
    st_.logf(" gamma ", deg(c.gamma));
    st_.logf("  ");
    st_.logf(" ======================================= ");
    st_.logf(" soma_diferencas (DEGREES)", c.soma_diferencas);
    st_.logf("-----------------------------------");
    st_.logf(" parametro_difer", c.parametro_before);
    st_.logf("-----------------------------------");
    st_.logf(" ======================================= ");
  }

  void on_scan_end(int iteration, int counter) override {
    if (iteration != 1 || counter != 0) return;
    for (int i = 0; i < 3; ++i) st_.logf(" ERROR - EULER ANGLES NOT FOUND ");
    st_.logf(" tipico erro com verificador ");
    st_.logf(" habilitar EULER ISSUE e verif. right handed part");
    st_.logf(" ERROR - EULER ANGLES NOT FOUND ");
    st_.session.stop(Status::euler_not_found,
                     std::vector<std::string>(4, free_line(" ERROR - EULER ANGLES NOT FOUND ")));
  }

  void on_window(const FitWindow& w, const BestAngles& best) override {
    if (!st_.logging()) return;
    const bool builder = st_.mode == Mode::builder;
    auto fit_line = [&](const char* text, double angle) {
      st_.logf(text, std::lround(kDegPerRad * angle));
      if (builder) st_.logf(text, kDegPerRad * angle);
      st_.logf("  ");
    };
    fit_line("alpha fit ALIGNMENT", best.alpha);
    fit_line("beta  fit ALIGNMENT", best.beta);
    fit_line("gamma fit ALIGNMENT", best.gamma);
    st_.logf("  ");
    st_.logf(" smaller dif. betw. Z axes - DEGREES:", best.best_z1);
    st_.logf(builder ? " smaller dif. betw. x axes - DEGREES:"
                              : " smaller dif. betw. X axes - DEGREES:",
                      best.best_x1);
    st_.logf(" smaller dif. betw. Y axes - DEGREES:", best.best_y1);
    st_.logf("  ");
    st_.logf(" menor soma de dif. ", best.best_z1 + best.best_x1 + best.best_y1);
    st_.logf("  ");
    st_.logf(" ############################ ");
    st_.logf(" iteracao ", w.iteration);
    st_.logf("  ");
    st_.logf(" ================================================== ");
    st_.logf(" condicoes iniciais - iteracao:", w.iteration);
    if (builder) st_.logf(" alpha initical ", w.alpha0);
    st_.logf(" alpha initical DEG", kDegPerRad * w.alpha0);
    if (builder) st_.logf(" beta initial ", w.beta);
    st_.logf(" beta initial DEG", kDegPerRad * w.beta);
    if (builder) st_.logf(" gamma inicail ", w.gamma0);
    st_.logf(" gamma inicail DEG", kDegPerRad * w.gamma0);
    st_.logf(" incremento ", w.step);
    st_.logf(" limite superior do scan ", w.n);
    st_.logf(" ================================================== ");
  }

 private:
  CoreState& st_;
};

// A molecule none of whose labels names an element has no mass and no
// centre: refuse it before any report line instead of dividing by zero.
void check_identified(CoreState& st) {
  bool ok[2] = {false, false};
  for (int i = 0; i < st.n_total; ++i)
    if (st.originalcoo_and_m[i].znum != 0.0) ok[i < st.n1 ? 0 : 1] = true;
  if (ok[0] && ok[1]) return;
  std::vector<std::string> said;
  if (!ok[0]) said.push_back(free_line(" molecule 1 has no recognised element label "));
  if (!ok[1]) said.push_back(free_line(" molecule 2 has no recognised element label "));
  st.session.stop(Status::no_element, std::move(said));
}

double angle_between(const Vec3& a, const Vec3& b) {
  const double la = length(a), lb = length(b);
  return std::atan2(length(cross(a, b)) / (la * lb), dot(a, b) / (la * lb));
}

}  // namespace

void alignment_pass(CoreState& st, AtomTable& coo_and_m) {
  const Vec3 cm2 = st.cm[1];
  FitSetup setup;
  setup.source = FitAxes{sub(st.endpoints[kAxis_X], cm2), sub(st.endpoints[kAxis_Y], cm2),
                        sub(st.endpoints[kAxis_Z], cm2)};
  setup.target = FitAxes{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  const Vec3& big_z = setup.source.z;
  const Vec3 e3{0.0, 0.0, 1.0};
  setup.beta = std::atan2(length(cross(big_z, e3)) / length(big_z), dot(big_z, e3) / length(big_z));
  setup.use = FitUse::alignment;
  setup.mode = st.mode;
  AlignmentObserver observer(st);
  grid_fit(setup, st.best, observer);

  const Mat3 ma = euler_matrix(st.best.alpha, st.best.beta, st.best.gamma);
  for (int i = 0; i < st.n_total; ++i) {
    Atom& a = st.auxiliar[i];
    const Vec3 p = mul(ma, Vec3{a.x - cm2.x, a.y - cm2.y, a.z - cm2.z});
    a.x = p.x;
    a.y = p.y;
    a.z = p.z;
    st.inicial_posicao_correta_coo_and_m[i] =
        Atom{p.x, p.y, p.z, st.originalcoo_and_m[i].mass, st.originalcoo_and_m[i].znum};
  }
  for (Vec3& p : st.endpoints) p = mul(ma, sub(p, cm2));
  st.cm[0] = mul(ma, sub(st.cm[0], cm2));
  st.cm[1] = Vec3{0.0, 0.0, 0.0};

  st.beta_pass = angle_between(sub(st.endpoints[kAxis_z], st.cm[0]), sub(st.endpoints[kAxis_Z], st.cm[1]));
  st.logf("  ");

  ++st.pass;
  if (st.pass < 3)
    for (int i = 0; i < st.n_total; ++i) coo_and_m[i] = st.inicial_posicao_correta_coo_and_m[i];
}

void euler_search(CoreState& st) {
  const std::string hashes = " ############################################# ";
  st.logf(hashes);
  st.logf(hashes);
  st.logf("  ");
  for (int group = 0; group < 3; ++group) {
    for (int i = 0; i < 3; ++i) st.logf(" search for Euler angles ");
    st.logf("  ");
  }
  for (int i = 0; i < 4; ++i) st.logf(hashes);
  st.logf("  ");

  FitSetup setup;
  const Vec3& cm1 = st.cm[0];
  const Vec3& cm2 = st.cm[1];
  setup.source = FitAxes{sub(st.endpoints[kAxis_X], cm2), sub(st.endpoints[kAxis_Y], cm2),
                        sub(st.endpoints[kAxis_Z], cm2)};
  setup.target = FitAxes{sub(st.endpoints[kAxis_x], cm1), sub(st.endpoints[kAxis_y], cm1),
                        sub(st.endpoints[kAxis_z], cm1)};
  setup.beta = st.beta_pass;
  setup.use = FitUse::euler;
  setup.mode = st.mode;
  EulerObserver observer(st);
  grid_fit(setup, st.best, observer);

  st.logf("================================");
  st.logf(" angulos de Euler obtidos ");
  st.logf("================================");
}

void relative_position(const CoreState& st, double& r, double& theta, double& phi) {
  const Vec3& c1 = st.cm[0];
  const Vec3& c2 = st.cm[1];
  const double dx = c2.x - c1.x, dy = c2.y - c1.y, dz = c2.z - c1.z;
  r = std::pow(dx * dx + dy * dy + dz * dz, 0.5);
  theta = std::acos(c1.z / r);
  phi = std::atan2(c1.y, c1.x);
}

static void write_file_name_values(CoreState& st, const ParamArgs& a) {
  st.logf(" &&& adapted values  ");
  st.logf(" valores para escrita de nome de arquivo ");
  st.logf("       ");
  st.logf(" r     ", a.ret_r);
  st.logf(" theta ", std::lround(kDegPerRad * a.ret_theta));
  st.logf(" phi   ", std::lround(kDegPerRad * a.ret_phi));
  st.logf("       ");
  st.logf(" alpha ", std::lround(kDegPerRad * a.ret_alpha));
  st.logf(" beta  ", std::lround(kDegPerRad * a.ret_beta));
  st.logf(" gamma ", std::lround(kDegPerRad * a.ret_gamma));
  st.logf("       ");
}

static void write_analyzer_files(CoreState& st, const AtomTable& coo_and_m,
                                 const std::vector<Label>& isymbol, ParamArgs& a) {
  const ResultNames names = build_result_names(st.session, a.ret_r, a.ret_theta, a.ret_phi,
                                               a.ret_alpha, a.ret_beta, a.ret_gamma);
  a.result_name = names.name;
  if (!st.session.write_files) return;
  OutputFile geometry, bild;
  geometry.open(st.session.file(names.geometry));
  bild.open(st.session.file(names.bild));
  write_geometry(geometry, st.n_total, coo_and_m, isymbol, Mode::analyzer);
  // Molecule 1's centre rebuilt from the measured position (as computed,
  // before any rounding rule), so the arrows sit where the atoms are.
  const Vec3 rebuilt = centre_from_spherical(a.r, a.theta, a.phi);
  write_bild(bild, st.cm[0], rebuilt, {st.endpoints[0], st.endpoints[1], st.endpoints[2]});
  st.session.stage(geometry);
  st.session.stage(bild);
}

// Near beta 0 or 180 degrees the refined windows let alpha or gamma slide up
// to about 6 degrees past a full turn (iteration 2 reaches 213 steps of
// 0.0005 rad above iteration 1's best). One whole turn less keeps that
// orientation; left as it is, the rules below would set it to 0. Angles that
// round to 360 degrees or less are untouched.
static void back_one_turn(double& angle) {
  if (std::lround(angle * 180.0 / kPi) > 360) angle -= kTwoPi;
}

// Centres, moments (amu Angstrom^2) and axes of the current pass, in frame
// order x, y, z / X, Y, Z: each axis the solver's unit eigenvector, turned
// as its end point in the table stands.
static void record_axes(const CoreState& st, FirstAxes& first) {
  constexpr double kAmuA2PerGCm2 = 1.0 / (kGramsPerAmu * kCmPerAngstrom * kCmPerAngstrom);
  static const int kFrameOrder[2][3] = {{kAxis_x, kAxis_y, kAxis_z}, {kAxis_X, kAxis_Y, kAxis_Z}};
  for (int k = 0; k < 2; ++k) {
    PrincipalAxes& m = first.molecules[k];
    const Vec3& c = st.cm[k];
    m.centre = {c.x, c.y, c.z};
    for (int j = 0; j < 3; ++j) m.moments[j] = st.moments[k][j] * kAmuA2PerGCm2;
    for (int j = 0; j < 3; ++j) {
      const int end = kFrameOrder[k][j];
      const Vec3& e = st.eigvec[k][end - 3 * k];
      const Vec3 e_signed = dot(sub(st.endpoints[end], c), e) < 0.0 ? neg(e) : e;
      m.axes[j] = {e_signed.x, e_signed.y, e_signed.z};
    }
  }
  first.known = true;
}

void param(int n, int n1, std::vector<Label>& isymbol, AtomTable& coo_and_m, ParamArgs& args,
           Session& session, PlacementStage* placement, FirstAxes* first) {
  const Mode mode = args.mode_flag == 'y' ? Mode::builder : Mode::analyzer;
  CoreState st(session, mode);
  st.n_total = n;
  st.n1 = n1;
  st.n2 = n - n1;

  st.originalcoo_and_m.assign(coo_and_m.begin(), coo_and_m.begin() + n);
  for (Atom& a : st.originalcoo_and_m) a.mass = a.znum = 0.0;
  st.auxiliar = st.originalcoo_and_m;
  st.inicial_posicao_correta_coo_and_m.assign(n, Atom{});
  identify_elements(n, isymbol, coo_and_m, st.originalcoo_and_m, st.auxiliar, mode);
  check_identified(st);

  for (st.pass = 0; st.pass < 3;) {
    analyse_molecule(st, coo_and_m, 0);
    analyse_molecule(st, coo_and_m, 1);
    const bool record = first != nullptr && st.pass == 0;
    if (record) record_axes(st, *first);  // the solver's signs, should the frames stop
    write_initial_data(st);
    write_verification(st);
    build_frames(st);
    if (record) record_axes(st, *first);  // oriented and right-handed
    alignment_pass(st, coo_and_m);  // advances st.pass
  }

  euler_search(st);

  // Final values.
  if (mode == Mode::analyzer) {
    auto full_turn = [](double& angle) {
      if (std::lround(angle * 180.0 / kPi) == 360) angle = 0.0;
    };
    back_one_turn(st.best.alpha);
    back_one_turn(st.best.gamma);
    full_turn(st.best.alpha);
    full_turn(st.best.beta);
    full_turn(st.best.gamma);
    args.full_turn_alpha = st.best.alpha;
    args.full_turn_beta = st.best.beta;
    args.full_turn_gamma = st.best.gamma;
  }
  relative_position(st, args.r, args.theta, args.phi);

  for (int i = 0; i < st.n_total; ++i) {
    const Atom& aux = st.auxiliar[i];
    const Atom& orig = st.originalcoo_and_m[i];
    coo_and_m[i] = Atom{aux.x, aux.y, aux.z, orig.mass, orig.znum};
  }
  st.final_coo_and_m.assign(coo_and_m.begin(), coo_and_m.begin() + st.n_total);
  for (int i = 0; i < st.n_total; ++i) coo_and_m[i] = st.inicial_posicao_correta_coo_and_m[i];

  if (mode == Mode::builder) {
    if (placement != nullptr) placement->run(st, coo_and_m, isymbol, args);
    return;
  }

  args.ret_alpha = st.best.alpha;
  args.ret_beta = st.best.beta;
  args.ret_gamma = st.best.gamma;
  args.ret_theta = args.theta;
  args.ret_phi = args.phi;
  args.ret_r = args.r;
  if (args.ret_phi < 0.0) args.ret_phi = args.ret_phi + kTwoPi;
  for (double* value : {&args.ret_alpha, &args.ret_beta, &args.ret_gamma, &args.ret_phi})
    if (kDegPerRad * *value > 359.5) *value = 0.0;

  if (std::lround(kDegPerRad * args.ret_beta) == 0) {
    st.logf("  ");
    st.logf("  ");
    for (int i = 0; i < 4; ++i) st.logf("WARNING:  for beta = zero, gamma = 0 ");
    st.logf("  ");
    st.logf("  ");
  }
  write_file_name_values(st, args);
  write_analyzer_files(st, coo_and_m, isymbol, args);
}

}  // namespace kavor
