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

struct ProgramStop {};

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kavor
