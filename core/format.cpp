#include "core/format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kavor {

static std::string right_aligned(int width, const std::string& text) {
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

std::string fortran_a(int width, std::string_view text) {
  if (static_cast<int>(text.size()) >= width) return std::string(text.substr(0, width));
  return std::string(width - text.size(), ' ') + std::string(text);
}

void fortran_i_into(char* out, int width, long long value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const int length = static_cast<int>(end - digits);
  if (length > width) {
    std::fill(out, out + width, '*');
    return;
  }
  std::fill(out, out + (width - length), ' ');
  std::copy(static_cast<const char*>(digits), end, out + (width - length));
}

std::string fortran_i(int width, long long value) {
  std::string field(static_cast<size_t>(width), ' ');
  fortran_i_into(field.data(), width, value);
  return field;
}

// The digits of an Fw.d field before alignment; `width` only decides the
// spelling of infinities and whether the optional leading zero is dropped.
static std::string real_text(int width, int decimals, double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) {
    if (value < 0) return width >= 9 ? "-Infinity" : "-Inf";
    return width >= 8 ? "Infinity" : "Inf";
  }
  // Exact decimal expansion, rounded to nearest with ties to even on the
  // binary value: the same digits as printf's "%.*f", several times faster.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (decimals == 0) text += '.';  // Fw.0 still writes the decimal point
  // Fortran drops the optional leading zero when that is what makes it fit.
  if (static_cast<int>(text.size()) > width) {
    if (text.rfind("0.", 0) == 0) text.erase(0, 1);
    else if (text.rfind("-0.", 0) == 0) text.erase(1, 1);
  }
  return text;
}

std::string fortran_f(int width, int decimals, double value) {
  return right_aligned(width, real_text(width, decimals, value));
}

std::string fortran_f_separated(int width, int decimals, double value) {
  std::string field = fortran_f(width, decimals, value);
  if (field.empty() || field[0] == ' ') return field;
  // The field is full to its first column, or would be asterisks: one blank
  // and the whole number instead.
  if (field.find_first_not_of('*') != std::string::npos) return ' ' + field;
  return ' ' + real_text(std::numeric_limits<int>::max(), decimals, value);
}

std::string free_real(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%25.16E", value);
  return buffer;
}

std::string free_int(long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%12lld", value);
  return buffer;
}

}  // namespace kavor
