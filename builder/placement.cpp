#include "builder/placement.hpp"

#include <algorithm>
#include <cmath>

#include "builder/contacts.hpp"
#include "core/euler.hpp"
#include "core/format.hpp"
#include "core/inertia.hpp"
#include "core/writers.hpp"

namespace kavor {

Mat3 clamped_euler_matrix(double alpha, double beta, double gamma) {
  auto clamp = [](double v) { return std::clamp(v, -1.0, 1.0); };
  const double ca = clamp(std::cos(alpha)), sa = clamp(std::sin(alpha));
  const double cb = clamp(std::cos(beta)), sb = clamp(std::sin(beta));
  const double cg = clamp(std::cos(gamma)), sg = clamp(std::sin(gamma));
  return euler_matrix_from(ca, sa, cb, sb, cg, sg);
}

namespace {

void banner(CoreState& st, std::string_view text, int before, int after, std::string_view blank) {
  for (int i = 0; i < before; ++i) st.log(free_line(blank));
  for (int i = 0; i < 5; ++i) st.log(free_line(text));
  for (int i = 0; i < after; ++i) st.log(free_line(blank));
}

// p := c + m.(p - c)
Vec3 turn_about(const Mat3& m, const Vec3& c, const Vec3& p) {
  const Vec3 v = mul(m, sub(p, c));
  return {c.x + v.x, c.y + v.y, c.z + v.z};
}


}  // namespace

void UserPlacement::run(CoreState& st, AtomTable& coo_and_m, std::vector<Label>& isymbol,
                        ParamArgs& args) {
  // In builder mode the returned-value slots carry the user's values in.
  const double user_alpha = args.ret_alpha, user_beta = args.ret_beta, user_gamma = args.ret_gamma;
  const int n = st.n_total, n1 = st.n1;
  const std::string_view blank = "   ";

  banner(st, " ALIGNMENT OF MOLECULES AFTER ACTUAL EULER IDENTIF.", 2, 2, blank);

  // Restore the analysis-frame geometry.
  AtomTable auxiliar_paralelas(n);
  for (int i = 0; i < n; ++i) {
    const Atom& aux = st.auxiliar[i];
    const Atom& orig = st.originalcoo_and_m[i];
    const Atom restored{aux.x, aux.y, aux.z, orig.mass, orig.znum};
    coo_and_m[i] = restored;
    st.inicial_posicao_correta_coo_and_m[i] = restored;
    auxiliar_paralelas[i] = restored;
  }

  // Turn molecule 1 back so that its frame xyz lies along XYZ, then by the
  // user's angles, both about its own centre of mass C1. The drawn axis end
  // points follow the same two turns.
  const Vec3 c1 = st.cm[0];
  const Mat3 back = transpose(clamped_euler_matrix(st.best.alpha, st.best.beta, st.best.gamma));
  for (int i = 0; i < n1; ++i) {
    Atom& a = auxiliar_paralelas[i];
    const Vec3 p = turn_about(back, c1, {a.x, a.y, a.z});
    a.x = p.x, a.y = p.y, a.z = p.z;
  }
  std::array<Vec3, 3> drawn;
  for (int k = 0; k < 3; ++k) drawn[k] = turn_about(back, c1, st.endpoints[k]);

  banner(st, " APLICATION OF USER-DEFINED ROTATION   ", 3, 2, blank);
  const Mat3 turn = clamped_euler_matrix(user_alpha, user_beta, user_gamma);
  for (int i = 0; i < n1; ++i) {
    Atom& a = auxiliar_paralelas[i];
    const Vec3 p = turn_about(turn, c1, {a.x, a.y, a.z});
    a.x = p.x, a.y = p.y, a.z = p.z;
  }
  for (int k = 0; k < 3; ++k) drawn[k] = turn_about(turn, c1, drawn[k]);
  args.full_turn_alpha = user_alpha;
  args.full_turn_beta = user_beta;
  args.full_turn_gamma = user_gamma;

  banner(st, " CHANGING POSITION ACCORDING TO USER ", 2, 2, blank);

  // Move molecule 1 to the user's position and write the new input file.
  for (int i = 0; i < n1; ++i) {
    st.auxiliar[i].x = auxiliar_paralelas[i].x;
    st.auxiliar[i].y = auxiliar_paralelas[i].y;
    st.auxiliar[i].z = auxiliar_paralelas[i].z;
  }
  const Vec3 target = centre_from_spherical(args.ret_r, args.ret_theta, args.ret_phi);
  const Vec3 shift = sub(target, c1);
  AtomTable coo_and_m_transl(n);
  {
    OutputFile geometry;
    geometry.open(st.session.file("input-GEOMETRY.xyz"));
    geometry.line(free_line(n));
    geometry.line(free_line("  "));
    for (int i = 0; i < n; ++i) {
      Atom& a = st.auxiliar[i];
      if (i < n1) {
        a.x = a.x + shift.x;
        a.y = a.y + shift.y;
        a.z = a.z + shift.z;
      }
      coo_and_m_transl[i] = Atom{a.x, a.y, a.z, 0.0, a.znum};
      geometry.line(atomic_number_line(a));
    }
    geometry.line(free_line("  "));
    geometry.line(free_line(n1));
    geometry.line(free_line("  "));
    geometry.line(free_line("n"));
    st.session.stage(geometry);
  }
  for (Vec3& e : drawn) e = Vec3{e.x + shift.x, e.y + shift.y, e.z + shift.z};

  // Measure the placed pair again.
  AtomTable aux(n);
  for (int i = 0; i < n1; ++i) {
    const Atom& t = coo_and_m_transl[i];
    aux[i] = Atom{t.x, t.y, t.z, st.originalcoo_and_m[i].mass, st.originalcoo_and_m[i].znum};
  }
  for (int i = n1; i < n; ++i) aux[i] = coo_and_m[i];
  const Vec3 new_c1 = centre_of_mass(aux, 0, n1);
  const Vec3 new_c2 = centre_of_mass(aux, n1, n);
  const double dx = new_c2.x - new_c1.x, dy = new_c2.y - new_c1.y, dz = new_c2.z - new_c1.z;
  args.r = std::pow(dx * dx + dy * dy + dz * dz, 0.5);
  args.theta = std::acos(new_c1.z / args.r);
  args.phi = std::atan2(new_c1.y, new_c1.x);
  // With coincident centres no direction exists: draw molecule 1 at the origin.
  const Vec3 drawn_centre = std::isnan(args.theta) ? Vec3{0.0, 0.0, 0.0}
                                         : centre_from_spherical(args.r, args.theta, args.phi);

  st.final_coo_and_m.assign(n, Atom{});
  for (int i = 0; i < n; ++i) st.final_coo_and_m[i] = coo_and_m_transl[i];
  for (int i = 0; i < n; ++i) coo_and_m[i] = st.inicial_posicao_correta_coo_and_m[i];

  // Each block is written as its pair is found: no list of the pairs is kept.
  bool found = false;
  for_each_short_contact(st.final_coo_and_m, n, n1, kShortContact, [&](const ContactPair& p) {
    found = true;
    report_short_contact(st, p, isymbol);
  });
  OutputFile geometry, bild;
  geometry.open(st.session.file(found ? names_.short_geometry : names_.geometry));
  bild.open(st.session.file(found ? names_.short_bild : names_.bild));
  write_bild(bild, drawn_centre, drawn_centre, drawn);
  write_geometry(geometry, n, st.final_coo_and_m, isymbol, Mode::builder);
  st.session.stage(geometry);
  st.session.stage(bild);

  banner(st, " USER-DEFINED PARAMETERS APPLIED ", 1, 2, "  ");
}

}  // namespace kavor
