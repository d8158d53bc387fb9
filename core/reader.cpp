#include "core/reader.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/errors.hpp"

namespace kavor {

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\f' || c == '\v';
}

int split_values(std::string_view line, std::string_view* out, int max) {
  int count = 0;
  size_t i = 0;
  while (count < max) {
    while (i < line.size() && is_separator(line[i])) ++i;
    if (i == line.size()) break;
    const size_t start = i;
    while (i < line.size() && !is_separator(line[i])) ++i;
    out[count++] = line.substr(start, i - start);
  }
  return count;
}

std::string shown(std::string_view text) {
  const bool cut = text.size() > 40;
  if (cut) text = text.substr(0, 40);
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

bool parse_fortran_real(std::string_view text, double& value) {
  // Validate the Fortran form first, then convert it (with the exponent
  // letter turned into 'E') correctly rounded: from_chars (after any '+'),
  // which gives the same double as strtod, and strtod itself for results
  // out of range, whose handling the two do not share.
  if (text.empty() || text.size() > 400) return false;
  char buffer[401];
  std::memcpy(buffer, text.data(), text.size());
  const size_t size = text.size();
  buffer[size] = '\0';
  size_t i = 0;
  if (buffer[i] == '+' || buffer[i] == '-') ++i;
  size_t digits = 0;
  while (i < size && buffer[i] >= '0' && buffer[i] <= '9') ++i, ++digits;
  if (i < size && buffer[i] == '.') {
    ++i;
    while (i < size && buffer[i] >= '0' && buffer[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < size) {
    char c = buffer[i];
    if (c != 'E' && c != 'e' && c != 'D' && c != 'd') return false;
    buffer[i] = 'E';
    ++i;
    if (i < size && (buffer[i] == '+' || buffer[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < size && buffer[i] >= '0' && buffer[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0 || i != size) return false;
  }
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

}  // namespace kavor
