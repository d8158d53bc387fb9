// The installed library's door (kavor/kavor.hpp) onto the analysis and the
// placement: arguments checked, then the same entries as the programs.
#include <cmath>
#include <stdexcept>

#include "builder/scan.hpp"
#include "core/analysis.hpp"
#include "core/euler.hpp"
#include "core/fragments.hpp"
#include "core/pair_input.hpp"
#include "kavor/kavor.hpp"

namespace kavor {

static_assert(sizeof(std::array<double, 3>) == 3 * sizeof(double),
              "positions are read as rows of 3");

namespace {

GeometryBlock block_of(std::span<const std::string> labels,
                       std::span<const std::array<double, 3>> positions) {
  if (labels.size() != positions.size())
    throw std::invalid_argument(
        "labels and positions differ in length: " + std::to_string(labels.size()) + " labels, " +
        std::to_string(positions.size()) + " positions");
  GeometryBlock block;
  block.isymbol = labels_of(std::vector<std::string>(labels.begin(), labels.end()));
  block.n = static_cast<int>(labels.size());
  block.icoo_and_m =
      atoms_of(positions.empty() ? nullptr : positions[0].data(), positions.size(), "");
  return block;
}

std::optional<int> n1_of(std::size_t n1, std::size_t n) {
  if (n1 == find_n1) return checked_n1(std::nullopt, n);
  return checked_n1(static_cast<long long>(std::min(n1, n)), n);
}

}  // namespace

Analysis public_analysis(const PairResult& result) {
  Analysis out;
  out.status = result.status;
  out.message = result.message;
  if (result.first.known) out.molecules = result.first.molecules;
  double v[6];
  table_values(result, v);
  out.r = v[0];
  out.theta = v[1];
  out.phi = v[2];
  out.alpha = v[3];
  out.beta = v[4];
  out.gamma = v[5];
  if (result.ok()) out.name = result.name;
  return out;
}

Analysis analyse(std::span<const std::string> labels,
                 std::span<const std::array<double, 3>> positions, std::size_t n1) {
  GeometryBlock block = block_of(labels, positions);
  return public_analysis(analyse_frame(block, n1_of(n1, labels.size())));
}

Placer::Placer(std::span<const std::string> labels,
               std::span<const std::array<double, 3>> positions, std::size_t n1) {
  GeometryBlock block = block_of(labels, positions);
  const Status resolved = resolve_n1(block, n1_of(n1, labels.size()), n1_message_);
  if (resolved != Status::ok) {
    n1_stop_ = resolved;
    return;
  }
  base_ = std::make_unique<PlacementBase>(block, block.n > kCapacity);
  base_->prepare_contacts(2.0);
}

Placer::~Placer() = default;
Placer::Placer(Placer&&) noexcept = default;
Placer& Placer::operator=(Placer&&) noexcept = default;

Status Placer::status() const { return base_ ? base_->status() : n1_stop_; }

Placed Placer::place(double r, double theta, double phi, double alpha, double beta,
                     double gamma) const {
  const double given[6] = {r, theta, phi, alpha, beta, gamma};
  const char* names[6] = {"r", "theta", "phi", "alpha", "beta", "gamma"};
  for (int k = 0; k < 6; ++k)
    if (!std::isfinite(given[k]))
      throw std::invalid_argument(std::string(names[k]) + " must be a finite number");
  Placed out;
  if (!base_) {
    out.status = n1_stop_;
    out.message = n1_message_;
    return out;
  }
  PlacedPoint point;
  place_point(*base_, UserValues{r, theta, phi, alpha, beta, gamma}, point);
  out.status = point.status;
  out.message = point.message;
  if (point.status != Status::ok) return out;
  out.name = point.names.name;
  const std::size_t n = static_cast<std::size_t>(base_->n());
  out.positions.reserve(n);
  out.numbers.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Atom& atom = point.atoms[i];
    out.positions.push_back({atom.x, atom.y, atom.z});
    out.numbers.push_back(static_cast<int>(atom.znum));
  }
  out.contacts = point.contacts;
  out.min_distance = point.min_distance;
  return out;
}

}  // namespace kavor
