// How a run ends.
//
// Every orderly stop of the programs (an input check, a symmetric molecule, a
// failed fit, a distance too large for a file name) first writes its own
// message lines and then throws ProgramStop; the driver's main() catches it,
// keeps what was written and exits with status 0. Tests catch it as well.
//
// InputError and OutputError are for what the programs cannot read or write
// at all (a missing file, a value that is not a number, a directory where a
// result file should go): one line on standard error, exit status 2.
#pragma once

#include <stdexcept>
#include <string>

namespace kavor {

enum ExitStatus : int { kExitOk = 0, kExitIoError = 2 };

// Which orderly stop ended an analysis. Tables and the Python package show
// it as a short stable code (stop_code_name); never renumber or rename.
enum class StopCode {
  none,              // not stopped: the pair was analysed
  too_many_atoms,    // more than the capacity
  atom_counts,       // a molecule with fewer than 3 atoms, or fewer than 6 in all
  no_element,        // a molecule none of whose labels names an element
  symmetric_1,       // molecule 1's axes cannot be oriented
  symmetric_2,       // molecule 2's axes cannot be oriented
  symmetric_both,    // neither molecule's
  alignment_failed,  // no guess angle in the second alignment
  euler_not_found,   // the Euler search found no candidate
  distance_too_large,  // r above 9999.9 Angstrom: no file name
  user_value,        // the builder refused a user value
  coordinates,       // coordinates too large to analyse
  n1_not_found,      // the bonded-fragment rule found no leading molecule 1
  unreadable,        // the frame could not be read
  not_molecular,     // a fragment bonded to its own periodic image (a chain or network)
};
const char* stop_code_name(StopCode code);

struct ProgramStop {
  StopCode code = StopCode::none;
};

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kavor
