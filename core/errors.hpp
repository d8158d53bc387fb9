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
#include <vector>

#include "kavor/status.hpp"

namespace kavor {

enum ExitStatus : int { kExitOk = 0, kExitIoError = 2 };

// The orderly stop that ends an analysis: its code and the message lines it
// wrote to the console, in order.
class ProgramStop : public std::exception {
 public:
  explicit ProgramStop(Status stop_code, std::vector<std::string> message_lines = {});
  const char* what() const noexcept override { return text_.c_str(); }

  Status code;
  std::vector<std::string> lines;

 private:
  std::string text_;  // status name, then the lines trimmed and joined
};

// Console text as one line: each line trimmed of blanks and tabs, runs of
// blanks made one, empty lines dropped, the rest joined by one blank.
std::string join_console_lines(const std::string& text);
std::string join_console_lines(const std::vector<std::string>& lines);

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kavor
