// How an analysis ends: analysed, or one of the orderly stops.
//
// KAVOR_STATUS_TABLE is the one list of them. Each row is
//   X(code, python_class, python_base, batch, text)
// code         the enumerator and the stable text kavor-batch writes in its
//              status column (never renumber or rename a row);
// python_class the exception the Python package raises for it ("" for ok);
// python_base  the class it derives from ("" for kavor.AnalysisStop);
// batch        whether `kavor-batch analyze` can write it (user_value comes
//              only from a placement, not_molecular only from `pairs`);
// text         why a frame has it, as the README's status table says.
// The C++ enumeration, the batch's help and the Python exception classes are
// all made from it: a new stop is one row here plus the place that raises it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#define KAVOR_STATUS_TABLE(X)                                                                      \
  X(ok, "", "", true, "it was analysed")                                                           \
  X(too_many_atoms, "TooManyAtoms", "", true, "it has more than 150000 atoms")                     \
  X(atom_counts, "AtomCounts", "", true,                                                           \
    "a molecule has fewer than 3 atoms, or the pair fewer than 6")                                 \
  X(no_element, "NoElement", "", true, "a molecule has no recognised element label")               \
  X(symmetric_1, "SymmetricMolecule1", "SymmetricMolecule", true, "molecule 1 cannot be oriented") \
  X(symmetric_2, "SymmetricMolecule2", "SymmetricMolecule", true, "molecule 2 cannot be oriented") \
  X(symmetric_both, "SymmetricBoth", "SymmetricMolecule", true,                                    \
    "neither molecule can be oriented")                                                            \
  X(alignment_failed, "AlignmentFailed", "", true, "the second axis alignment found no angles")    \
  X(euler_not_found, "EulerNotFound", "", true,                                                    \
    "the Euler search found no candidate (\"EULER ANGLES NOT FOUND\")")                            \
  X(distance_too_large, "DistanceTooLarge", "", true, "r is above 9999.9 Angstrom (no file name)") \
  X(user_value, "UserValueRefused", "", false,                                                     \
    "ud-kavor refuses a requested value (placements only)")                                        \
  X(coordinates, "CoordinatesTooLarge", "", true, "the coordinates are too large to analyse")      \
  X(n1_not_found, "N1NotFound", "", true, "`--n1 auto` found no leading molecule 1")               \
  X(unreadable, "Unreadable", "", true,                                                            \
    "the frame could not be read (the error line names the file and line)")                        \
  X(not_molecular, "NotMolecular", "", false,                                                      \
    "(`pairs` only) a molecule of the pair is bonded to its own periodic "                         \
    "image")

namespace kavor {

enum class Status : unsigned char {
#define KAVOR_STATUS_ENUM(code, python_class, python_base, batch, text) code,
  KAVOR_STATUS_TABLE(KAVOR_STATUS_ENUM)
#undef KAVOR_STATUS_ENUM
};

// One row of the table.
struct StatusInfo {
  Status status;
  std::string_view name;  // "symmetric_1"
  std::string_view python_class;
  std::string_view python_base;
  bool batch;
  std::string_view text;
};

#define KAVOR_STATUS_COUNT(code, python_class, python_base, batch, text) +1
inline constexpr std::size_t kStatusCount = 0 KAVOR_STATUS_TABLE(KAVOR_STATUS_COUNT);
#undef KAVOR_STATUS_COUNT

// Every row, in the order of the enumeration (status_codes()[k].status is
// Status(k)). (C++17 suffices for this header: the CIF reader includes it.)
const std::array<StatusInfo, kStatusCount>& status_codes();
// The code text kavor-batch writes: "ok", "symmetric_1", ...
std::string_view status_name(Status status);

}  // namespace kavor
