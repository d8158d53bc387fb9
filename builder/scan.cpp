#include "builder/scan.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/summary.hpp"

namespace kavor {

namespace {

// Takes what the placement needs when the core hands over in builder mode.
class Snapshot : public PlacementStage {
 public:
  PairValues run(Session&, const AnalysedPair& analysed,
                 const std::vector<Label>& isymbol) override {
    pair = std::make_unique<AnalysedPair>(analysed);
    labels = isymbol;
    return {};
  }
  std::unique_ptr<AnalysedPair> pair;
  std::vector<Label> labels;
};

double distance(const Atom& a, const Atom& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Pairs up to this many candidates are tested one by one: cheaper than a
// grid for the pairs of a quantum-chemistry scan.
constexpr long kPlainPairs = 1L << 16;

bool large_pair(int n, int n1) { return static_cast<long>(n1) * (n - n1) > kPlainPairs; }

void measure_contacts(const PlacementBase& base, const AtomTable& atoms, const PlaceOptions& options,
                      PlacedPoint& out) {
  const int n = base.n(), n1 = base.n1();
  out.contacts = 0;
  out.contact_pairs.clear();
  double nearest = std::numeric_limits<double>::infinity();
  auto take = [&](int i, int k, double d) {
    nearest = std::min(nearest, d);
    if (d > kShortContact) return;
    ++out.contacts;
    if (options.list_contacts) out.contact_pairs.push_back({i, k, d});
  };
  if (!large_pair(n, n1)) {
    for (int i = 0; i < n1; ++i)
      for (int k = n1; k < n; ++k) take(i, k, distance(atoms[i], atoms[k]));
    out.min_distance = nearest;
    return;
  }
  // A cell list of molecule 2, reaching as far as the shortest distance is
  // wanted; every pair within reach, in the order of the plain double loop.
  const double reach = std::max(2.0, options.min_distance_reach);
  const auto visit = [&](const ContactPair& p) { take(p.i, p.k, p.d); };
  if (const CellGrid* grid = base.contact_grid(reach)) for_each_short_contact(atoms, n1, *grid, reach, visit);
  else for_each_short_contact(atoms, n, n1, reach, visit);
  out.min_distance = nearest <= reach ? nearest : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

PlacementBase::PlacementBase(const GeometryBlock& block, bool too_many, bool keep_report)
    : n_(block.n), n1_(block.n1) {
  if (too_many) {
    status_ = Status::too_many_atoms;
    message_ = "max number of atoms -150000 -exceeded";
    return;
  }
  Snapshot snapshot;
  PairResult result;
  try {
    result = analyse_quietly(block, Mode::builder, &snapshot, keep_report ? &report_ : nullptr);
  } catch (const InputError& e) {
    status_ = Status::coordinates;
    message_ = e.what();
    return;
  }
  status_ = result.status;
  message_ = result.message;
  pair_ = std::move(snapshot.pair);
  labels_ = std::move(snapshot.labels);
}

PlacementBase::~PlacementBase() = default;

void PlacementBase::prepare_contacts(double reach) {
  reach = std::max(2.0, reach);
  if (!pair_ || !large_pair(n_, n1_) || (grid_ && grid_reach_ >= reach)) return;
  // Molecule 2's rows keep the analysis-frame coordinates in every placement.
  grid_ = std::make_unique<CellGrid>(kavor::contact_grid(pair_->atoms, n_, n1_, reach));
  grid_reach_ = reach;
}

const CellGrid* PlacementBase::contact_grid(double reach) const {
  return grid_ && grid_reach_ >= reach ? grid_.get() : nullptr;
}

void place_point(const PlacementBase& base, const UserValues& values, PlacedPoint& out,
                 const PlaceOptions& options) {
  out.status = Status::ok;
  out.message.clear();
  out.contacts = 0;
  out.contact_pairs.clear();
  out.min_distance = std::numeric_limits<double>::quiet_NaN();
  // The builder's order: atom counts, then the user's values, then the
  // file names, then the analysis.
  if (base.status() == Status::too_many_atoms || base.status() == Status::atom_counts) {
    out.status = base.status();
    out.message = base.message();
    return;
  }
  AdjustedValues v;
  std::vector<std::string> refusal;
  if (!adjust_user_values(values, v, refusal)) {
    out.status = Status::user_value;
    std::string text;
    for (const std::string& line : refusal) text += line + '\n';
    out.message = join_console_lines(text);
    return;
  }
  if (v.r > kNameDistanceLimit) {
    out.status = Status::distance_too_large;
    out.message = "distance between molecules greater than 9999.9 Angstrons name file error";
    return;
  }
  out.names = result_names(Mode::builder, v.r, v.theta, v.phi, v.alpha, v.beta, v.gamma);
  if (base.status() != Status::ok) {
    out.status = base.status();
    out.message = base.message();
    return;
  }
  PlacedGeometry placed;
  placed.atoms = std::move(out.atoms);
  place_molecule(base.pair(), v.r, v.theta, v.phi, v.alpha, v.beta, v.gamma, placed);
  out.atoms = std::move(placed.atoms);
  out.r = placed.r;
  out.theta = placed.theta;
  out.phi = placed.phi;
  out.drawn_centre = placed.drawn_centre;
  out.drawn = placed.drawn;
  const SummaryDegrees d = builder_summary_degrees(placed.theta, placed.phi, v.alpha, v.beta, v.gamma);
  out.theta_deg = d.theta;
  out.phi_deg = d.phi;
  out.alpha_deg = d.alpha;
  out.beta_deg = d.beta;
  out.gamma_deg = d.gamma;
  measure_contacts(base, out.atoms, options, out);
}

}  // namespace kavor
