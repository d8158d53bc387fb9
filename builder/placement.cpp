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

void banner(Session& s, std::string_view text, int before, int after, std::string_view blank) {
  for (int i = 0; i < before; ++i) s.logf(blank);
  for (int i = 0; i < 5; ++i) s.logf(text);
  for (int i = 0; i < after; ++i) s.logf(blank);
}

// p := c + m.(p - c)
Vec3 turn_about(const Mat3& m, const Vec3& c, const Vec3& p) {
  const Vec3 v = mul(m, sub(p, c));
  return {c.x + v.x, c.y + v.y, c.z + v.z};
}


}  // namespace

void place_molecule(const AnalysedPair& pair, double r, double theta, double phi, double alpha,
                    double beta, double gamma, PlacedGeometry& out) {
  const int n = pair.n, n1 = pair.n1;
  AtomTable& placed = out.atoms;
  placed.resize(n);

  // Turn molecule 1 back so that its frame xyz lies along XYZ, then by the
  // user's angles, both about its own centre of mass C1; then move it to the
  // user's position. The drawn axis end points follow the same steps.
  const Vec3 c1 = pair.c1;
  const Mat3 back = transpose(clamped_euler_matrix(pair.best.alpha, pair.best.beta, pair.best.gamma));
  const Mat3 turn = clamped_euler_matrix(alpha, beta, gamma);
  const Vec3 target = centre_from_spherical(r, theta, phi);
  const Vec3 shift = sub(target, c1);
  for (int i = 0; i < n1; ++i) {
    const Atom& a = pair.atoms[i];
    Vec3 p = turn_about(back, c1, {a.x, a.y, a.z});
    p = turn_about(turn, c1, p);
    placed[i] = Atom{p.x + shift.x, p.y + shift.y, p.z + shift.z, 0.0, a.znum};
  }
  for (int i = n1; i < n; ++i) {
    const Atom& a = pair.atoms[i];
    placed[i] = Atom{a.x, a.y, a.z, 0.0, a.znum};
  }
  for (int k = 0; k < 3; ++k) {
    const Vec3 e = turn_about(turn, c1, turn_about(back, c1, pair.endpoints[k]));
    out.drawn[k] = Vec3{e.x + shift.x, e.y + shift.y, e.z + shift.z};
  }

  // Measure the placed pair again (molecule 1 with its masses).
  double mass = 0.0, sx = 0.0, sy = 0.0, sz = 0.0;
  for (int i = 0; i < n1; ++i) mass += pair.atoms[i].mass;
  for (int i = 0; i < n1; ++i) sx += pair.atoms[i].mass * placed[i].x;
  for (int i = 0; i < n1; ++i) sy += pair.atoms[i].mass * placed[i].y;
  for (int i = 0; i < n1; ++i) sz += pair.atoms[i].mass * placed[i].z;
  const Vec3 new_c1{sx / mass, sy / mass, sz / mass};
  const Vec3& new_c2 = pair.c2;
  const double dx = new_c2.x - new_c1.x, dy = new_c2.y - new_c1.y, dz = new_c2.z - new_c1.z;
  out.r = std::pow(dx * dx + dy * dy + dz * dz, 0.5);
  out.theta = std::acos(new_c1.z / out.r);
  out.phi = std::atan2(new_c1.y, new_c1.x);
  // With coincident centres no direction exists: draw molecule 1 at the origin.
  out.drawn_centre = std::isnan(out.theta) ? Vec3{0.0, 0.0, 0.0}
                                           : centre_from_spherical(out.r, out.theta, out.phi);
}

PairValues UserPlacement::run(Session& session, const AnalysedPair& pair,
                              const std::vector<Label>& isymbol) {
  const int n = pair.n, n1 = pair.n1;
  write_placement_opening(session);

  PlacedGeometry placed;
  place_molecule(pair, user_.r, user_.theta, user_.phi, user_.alpha, user_.beta, user_.gamma,
                 placed);
  write_placed_input(session, placed.atoms, n1);

  // Each block is written as its pair is found: no list of the pairs is kept.
  bool found = false;
  for_each_short_contact(placed.atoms, n, n1, kShortContact, [&](const ContactPair& p) {
    found = true;
    report_short_contact(session, p, isymbol);
  });
  OutputFile geometry, bild;
  geometry.open(session.file(found ? names_.short_geometry : names_.geometry));
  bild.open(session.file(found ? names_.short_bild : names_.bild));
  write_bild(bild, placed.drawn_centre, placed.drawn_centre, placed.drawn);
  write_geometry(geometry, n, placed.atoms, isymbol, Mode::builder);
  session.stage(geometry);
  session.stage(bild);

  write_placement_closing(session);
  return PairValues{placed.r, placed.theta, placed.phi, user_.alpha, user_.beta, user_.gamma};
}

void write_placement_opening(Session& s) {
  const std::string_view blank = "   ";
  banner(s, " ALIGNMENT OF MOLECULES AFTER ACTUAL EULER IDENTIF.", 2, 2, blank);
  banner(s, " APLICATION OF USER-DEFINED ROTATION   ", 3, 2, blank);
  banner(s, " CHANGING POSITION ACCORDING TO USER ", 2, 2, blank);
}

void write_placement_closing(Session& s) { banner(s, " USER-DEFINED PARAMETERS APPLIED ", 1, 2, "  "); }

void write_placed_input(Session& session, const AtomTable& placed, int n1) {
  OutputFile geometry;
  geometry.open(session.file("input-GEOMETRY.xyz"));
  write_placed_input(geometry, placed, n1);
  session.stage(geometry);
}

void write_placed_input(OutputFile& geometry, const AtomTable& placed, int n1) {
  const int n = static_cast<int>(placed.size());
  geometry.line(free_line(n));
  geometry.line(free_line("  "));
  for (int i = 0; i < n; ++i) geometry.line(atomic_number_line(placed[i]));
  geometry.line(free_line("  "));
  geometry.line(free_line(n1));
  geometry.line(free_line("  "));
  geometry.line(free_line("n"));
}

}  // namespace kavor
