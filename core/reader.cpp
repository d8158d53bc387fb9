#include "core/reader.hpp"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/errors.hpp"

namespace kavor {

static constexpr std::array<bool, 256> kSeparators = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : {' ', '\t', ',', '\r', '\f', '\v'}) table[c] = true;
  return table;
}();

bool is_separator(char c) { return kSeparators[static_cast<unsigned char>(c)]; }

// The first separator in [p, end), or end. Eight bytes at a time: every
// separator is below '-' (0x2d), and digits, points, minus signs and
// letters are not, so a word without such a byte holds no separator; the
// lowest byte flagged is exact (a borrow only runs upwards), and a flagged
// byte that is no separator ('+', say) is stepped over.
static const char* find_separator(const char* p, const char* const end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighBits = 0x8080808080808080u;
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const std::uint64_t below = (word - kOnes * 0x2d) & ~word & kHighBits;
      if (below == 0) {
        p += 8;
        continue;
      }
      const char* c = p + std::countr_zero(below) / 8;
      if (kSeparators[static_cast<unsigned char>(*c)]) return c;
      p = c + 1;
    }
  }
  while (p != end && !kSeparators[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

int split_values(std::string_view line, std::string_view* out, int max) {
  int count = 0;
  const char* p = line.data();
  const char* const end = p + line.size();
  while (count < max) {
    while (p != end && kSeparators[static_cast<unsigned char>(*p)]) ++p;
    if (p == end) break;
    const char* start = p;
    p = find_separator(p, end);
    out[count++] = std::string_view(start, static_cast<size_t>(p - start));
  }
  return count;
}

std::string shown(std::string_view text) {
  const bool cut = text.size() > 40;
  if (cut) {
    // Cut before a UTF-8 character, never inside one (continuation bytes
    // are 10xxxxxx).
    size_t end = 40;
    while (end > 37 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text = text.substr(0, end);
  }
  std::string quote = "'";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      quote += "\\x";
      quote += kHex[c >> 4];
      quote += kHex[c & 0xf];
    } else {
      quote += static_cast<char>(c);
    }
  }
  return quote + (cut ? "...'" : "'");
}

// Editors on some systems start a UTF-8 text file with a byte-order mark; it
// is not part of the first value.
static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

FreeFormatReader::FreeFormatReader(std::string display_name, std::string contents)
    : name_(std::move(display_name)), contents_(std::move(contents)) {
  if (std::string_view(contents_).starts_with(kByteOrderMark)) pos_ = kByteOrderMark.size();
}

FreeFormatReader FreeFormatReader::from_file(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw InputError(name + ": cannot read input file: it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(name + ": cannot open input file: " + std::strerror(errno));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) throw InputError(name + ": cannot read input file");
  return FreeFormatReader(name, std::move(buffer).str());
}

void FreeFormatReader::fail_at(int line, const std::string& message) const {
  throw InputError(name_ + ":" + std::to_string(line) + ": " + message);
}

void FreeFormatReader::fail_end(std::string_view what) const {
  throw InputError(name_ + ":" + std::to_string(line_) + ": file ends before " +
                   std::string(what));
}

void FreeFormatReader::read(std::span<Token> out, std::string_view what) {
  size_t have = 0;
  while (have < out.size()) {
    if (pos_ >= contents_.size()) fail_end(what);
    const char* begin = contents_.data() + pos_;
    const char* end_of_data = contents_.data() + contents_.size();
    const char* newline =
        static_cast<const char*>(std::memchr(begin, '\n', end_of_data - begin));
    const char* end = newline != nullptr ? newline : end_of_data;
    const char* p = begin;
    while (have < out.size()) {
      while (p < end && is_separator(*p)) ++p;
      if (p == end) break;
      const char* start = p;
      while (p < end && !is_separator(*p)) ++p;
      out[have++] = Token{std::string_view(start, p - start), line_};
    }
    pos_ = newline != nullptr ? static_cast<size_t>(newline - contents_.data()) + 1
                              : contents_.size();
    ++line_;
  }
}

void FreeFormatReader::skip_line(std::string_view what) {
  if (pos_ >= contents_.size()) fail_end(what);
  const char* begin = contents_.data() + pos_;
  const void* newline = std::memchr(begin, '\n', contents_.size() - pos_);
  pos_ = newline != nullptr
             ? static_cast<size_t>(static_cast<const char*>(newline) - contents_.data()) + 1
             : contents_.size();
  ++line_;
}

int FreeFormatReader::read_int(std::string_view what) {
  Token token;
  read(std::span<Token>(&token, 1), what);
  return to_int(token, what);
}

double FreeFormatReader::read_real(std::string_view what) {
  Token token;
  read(std::span<Token>(&token, 1), what);
  return to_real(token, what);
}

int FreeFormatReader::to_int(const Token& token, std::string_view what) const {
  int value = 0;
  if (!parse_int32(token.text, value))
    fail_at(token.line, "expected " + std::string(what) + " (a whole number), got " +
                            shown(token.text));
  return value;
}

double FreeFormatReader::to_real(const Token& token, std::string_view what) const {
  double value = 0.0;
  if (!parse_fortran_real(token.text, value))
    fail_at(token.line, "expected " + std::string(what) + " (a finite number), got " +
                            shown(token.text));
  return value;
}

bool parse_int32(std::string_view text, int& value) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// Checks the Fortran form of a real; `exponent` is set to the place of the
// exponent letter (npos without one).
static bool scan_fortran_real(std::string_view text, size_t& exponent) {
  if (text.empty() || text.size() > 400) return false;
  const size_t size = text.size();
  const auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  size_t digits = 0;
  while (i < size && digit(i)) ++i, ++digits;
  if (i < size && text[i] == '.') {
    ++i;
    while (i < size && digit(i)) ++i, ++digits;
  }
  if (digits == 0) return false;
  exponent = i < size ? i : std::string_view::npos;
  if (i < size) {
    const char c = text[i];
    if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return false;
    ++i;
    if (i < size && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < size && digit(i)) ++i, ++exponent_digits;
    if (exponent_digits == 0 || i != size) return false;
  }
  return true;
}

static bool convert_fortran_real(const char* buffer, size_t size, double& value) {
  // Correctly rounded: from_chars (after any '+'), which gives the same
  // double as strtod, and strtod itself for results out of range, whose
  // handling the two do not share.
  double parsed = 0.0;
  const char* first = buffer[0] == '+' ? buffer + 1 : buffer;
  const auto result = std::from_chars(first, buffer + size, parsed);
  if (result.ec != std::errc() || result.ptr != buffer + size) {
    char* end = nullptr;
    parsed = std::strtod(buffer, &end);
    if (end != buffer + size) return false;
  }
  if (!std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

// Plain decimals ("-6.36309938") of at most 15 digits: the integer of their
// digits and the power of ten of their decimals are exact doubles, so one
// division gives the correctly rounded value, the same double as from_chars.
// False for any other form, left to the full conversion.
static bool parse_short_decimal(std::string_view text, double& value) {
  static constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const size_t size = text.size();
  if (size > 17) return false;  // a sign, 15 digits and the point at most
  size_t i = 0;
  const bool negative = size > 0 && text[0] == '-';
  if (size > 0 && (text[0] == '-' || text[0] == '+')) ++i;
  std::uint64_t digits = 0;
  int count = 0, decimals = 0;
  bool point = false;
  for (; i < size; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++count > 15) return false;
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (count == 0) return false;
  const double magnitude = static_cast<double>(digits) / kPow10[decimals];
  value = negative ? -magnitude : magnitude;
  return true;
}

// What from_chars reads whole into a finite double, after at most one '+'
// that is not followed by a sign, is a Fortran real too ([-]digits[.digits]
// with an E exponent; from_chars's "inf" and "nan" are not finite): such text
// needs no check of its form. Anything else takes the full road.
static bool parse_plain_real(std::string_view text, double& value) {
  if (text.empty() || text.size() > 400) return false;
  const char* first = text.data();
  const char* end = first + text.size();
  if (*first == '+' && (++first == end || *first == '+' || *first == '-')) return false;
  double parsed = 0.0;
  const auto result = std::from_chars(first, end, parsed);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool parse_fortran_real(std::string_view text, double& value) {
  if (parse_short_decimal(text, value) || parse_plain_real(text, value)) return true;
  size_t exponent = 0;
  if (!scan_fortran_real(text, exponent)) return false;
  char buffer[401];  // NUL-terminated for strtod, the exponent letter as 'E'
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  if (exponent != std::string_view::npos) buffer[exponent] = 'E';
  return convert_fortran_real(buffer, text.size(), value);
}

bool is_fortran_real(std::string_view text) {
  size_t exponent = 0;
  if (!scan_fortran_real(text, exponent)) return false;
  // Without an exponent, fewer than 300 characters cannot reach DBL_MAX
  // (309 digits before the point): convert only a value that could overflow.
  if (exponent == std::string_view::npos && text.size() < 300) return true;
  double value = 0.0;
  return parse_fortran_real(text, value);
}

}  // namespace kavor
