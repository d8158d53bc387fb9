// ud-kavor's placement as a reusable step: the pair is analysed once, then
// molecule 1 is placed at any number of user-defined points, each with
// exactly ud-kavor's checks, adjustments, arithmetic and short-contact rule.
// The batch program's scans and the Python package use it.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "builder/contacts.hpp"
#include "builder/placement.hpp"
#include "builder/user_values.hpp"
#include "core/analysis.hpp"
#include "core/cells.hpp"
#include "core/naming.hpp"

namespace kavor {


// A pair analysed in the builder's mode, without report or files.
class PlacementBase {
 public:
  // `too_many` marks a block whose atoms were not read (above the capacity).
  // With `keep_report` the analysis part of ud-kavor's report is kept.
  explicit PlacementBase(const GeometryBlock& block, bool too_many = false, bool keep_report = false);
  ~PlacementBase();
  PlacementBase(const PlacementBase&) = delete;
  PlacementBase& operator=(const PlacementBase&) = delete;

  // ok when the pair was analysed; otherwise every point stops with it.
  Status status() const { return status_; }
  const std::string& message() const { return message_; }
  int n() const { return n_; }
  int n1() const { return n1_; }
  // Labels as ud-kavor writes them: numerals replaced by element symbols.
  const std::vector<Label>& labels() const { return labels_; }
  const AnalysedPair& pair() const { return *pair_; }
  // ud-kavor's report up to the placement (with keep_report).
  const std::string& report_opening() const { return report_; }

  // Indexes molecule 2, which no placement moves, once for the contact
  // search of large pairs, reaching `reach` Angstrom. Call it before placing
  // points from several threads; without it each point indexes molecule 2.
  void prepare_contacts(double reach);
  // The index, when prepared for at least `reach`; null otherwise.
  const CellGrid* contact_grid(double reach) const;

 private:
  Status status_ = Status::ok;
  std::string message_;
  int n_ = 0, n1_ = 0;
  std::vector<Label> labels_;
  std::unique_ptr<AnalysedPair> pair_;
  std::string report_;
  std::unique_ptr<CellGrid> grid_;
  double grid_reach_ = 0.0;
};

struct PlacedPoint {
  Status status = Status::ok;        // ok, user_value, distance_too_large or the pair's stop
  std::string message;               // the stop's console text, lines joined
  ResultNames names;                 // from the user's values (ud-kavor's names)
  // Re-measured position of the placed pair: r (Angstrom), theta, phi
  // (radians, phi as computed in (-pi, pi]), and the whole degrees of
  // ud-kavor's summary (r, theta, phi re-measured; alpha, beta, gamma the
  // user's adjusted values).
  double r = 0.0, theta = 0.0, phi = 0.0;
  long theta_deg = 0, phi_deg = 0, alpha_deg = 0, beta_deg = 0, gamma_deg = 0;
  // The placed pair: x, y, z (Angstrom) and the atomic number of each atom,
  // as in ud-kavor's input-GEOMETRY.xyz.
  AtomTable atoms;
  // Drawn frame of molecule 1 for the BILD file: its centre and axis ends.
  Vec3 drawn_centre;
  std::array<Vec3, 3> drawn;
  int contacts = 0;            // pairs at or below ud-kavor's 1.9 Angstrom threshold
  double min_distance = 0.0;   // shortest intermolecular distance, Angstrom (NaN if unknown)
  std::vector<ContactPair> contact_pairs;  // filled only when asked for
};

struct PlaceOptions {
  bool list_contacts = false;  // fill contact_pairs
  // Shortest distance wanted up to this many Angstrom at least; beyond it
  // min_distance may be NaN in very large pairs.
  double min_distance_reach = 2.0;
};

// Places molecule 1 at the user's values. Never throws for a refused value:
// the point gets its status and ud-kavor's message.
void place_point(const PlacementBase& base, const UserValues& values, PlacedPoint& out,
                 const PlaceOptions& options = {});

}  // namespace kavor
