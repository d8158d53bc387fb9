#include "core/format.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kavor {

static std::string right_aligned(int width, const std::string& text) {
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

std::string fortran_a(int width, std::string_view text) {
  if (static_cast<int>(text.size()) >= width) return std::string(text.substr(0, width));
  return std::string(width - text.size(), ' ') + std::string(text);
}

std::string fortran_i(int width, long long value) {
  return right_aligned(width, std::to_string(value));
}

std::string fortran_f(int width, int decimals, double value) {
  if (std::isnan(value)) return right_aligned(width, "NaN");
  if (std::isinf(value)) {
    if (value < 0) return right_aligned(width, width >= 9 ? "-Infinity" : "-Inf");
    return right_aligned(width, width >= 8 ? "Infinity" : "Inf");
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
  return right_aligned(width, text);
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
