// Free-format (list-directed) reading of the programs' input files.
//
// Each read starts at the next line, passes over blank lines until it has all
// its values, and ignores the rest of the line that holds its last value.
// Blanks, tabs and commas separate values; a CR before the line end is
// ignored, so CR LF files read like LF files; a UTF-8 byte-order mark at the
// start of the file is skipped. Reals follow Fortran syntax:
// optional sign, digits with an optional point (".5", "5." and "5" are all
// fine), optional exponent with E, e, D or d ("1.0D0"). A value that is not a
// number, a number that is not finite, or an end of file before the value is
// an InputError naming the file, the line and what was expected (and quoting
// the token, control bytes written as \xNN).
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace kavor {

struct Token {
  std::string_view text;
  int line = 0;  // 1-based line number in the file
};

class FreeFormatReader {
 public:
  FreeFormatReader(std::string display_name, std::string contents);
  // Reads the whole file; a missing or unreadable file is an InputError.
  static FreeFormatReader from_file(const std::filesystem::path& path);

  // One read of out.size() values; `what` names them for error messages.
  void read(std::span<Token> out, std::string_view what);
  // Reads one line and ignores it, whatever it holds (even if blank).
  void skip_line(std::string_view what);

  int read_int(std::string_view what);
  double read_real(std::string_view what);

  int to_int(const Token& token, std::string_view what) const;
  double to_real(const Token& token, std::string_view what) const;

  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail_at(int line, const std::string& message) const;
  [[noreturn]] void fail_end(std::string_view what) const;

  std::string name_;
  std::string contents_;
  size_t pos_ = 0;  // start of the next unread line
  int line_ = 1;    // its number
};

// Blanks, tabs, commas (and CR, FF, VT) separate values.
bool is_separator(char c);
// Splits a line into at most `max` values; returns how many it found.
int split_values(std::string_view line, std::string_view* out, int max);
// A token quoted for an error message: long ones cut, control bytes (NUL
// included) written as \xNN, so the quote stays whole on one line.
std::string shown(std::string_view text);

// Parses a Fortran-style real; false if the whole text is not one.
bool parse_fortran_real(std::string_view text, double& value);
// True where parse_fortran_real succeeds, without converting where the
// value is sure to be finite (a quick check of frames that are not kept).
bool is_fortran_real(std::string_view text);
// Parses an optionally signed decimal integer that fits 32 bits.
bool parse_int32(std::string_view text, int& value);

}  // namespace kavor
