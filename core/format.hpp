// Line styles of the report and the console.
//
// Free-format lines start with one blank of their own, then the items: texts
// are copied unchanged (two adjacent texts touch; a text after a number is
// set off by one blank), integers take 12 columns right-aligned and reals 25
// columns in E notation with 17 significant digits, so every double is
// printed exactly enough to be read back bit for bit.
//
// Formatted lines follow Fortran edit descriptors: Aw, Iw, Fw.d. Fields are
// right-aligned, reals rounded to nearest (ties to even on the binary value,
// as the Fortran runtime does), a value that does not fit gives w asterisks,
// and a small negative value keeps its sign ("-0.00").
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>

namespace kavor {

std::string fortran_a(int width, std::string_view text);
std::string fortran_i(int width, long long value);
// The same field written into out[0 .. width), without a string.
void fortran_i_into(char* out, int width, long long value);
std::string fortran_f(int width, int decimals, double value);
// Fw.d for a value that must read back as a token of its own (the result
// files): as fortran_f when the field starts with a blank; when the number
// fills the field to its first column or does not fit, one blank and the
// whole number instead, so that the field widens just enough and never
// touches the item before it nor turns into asterisks.
std::string fortran_f_separated(int width, int decimals, double value);

// The layout of one number on a free-format line.
std::string free_real(double value);
std::string free_int(long long value);

// Builds one free-format line from texts, integers and doubles.
// A text that follows a number is set off by one blank, so that every
// number on a line can be read back as a separate token.
template <class... Items>
std::string free_line(const Items&... items) {
  std::string line = " ";
  bool after_number = false;
  auto add = [&line, &after_number](const auto& item) {
    using T = std::decay_t<decltype(item)>;
    if constexpr (std::is_same_v<T, bool>) {
      static_assert(!std::is_same_v<T, bool>, "no bool items");
    } else if constexpr (std::is_floating_point_v<T>) {
      line += free_real(static_cast<double>(item));
      after_number = true;
    } else if constexpr (std::is_integral_v<T>) {
      line += free_int(static_cast<long long>(item));
      after_number = true;
    } else {
      if (after_number) line += ' ';
      line += std::string_view(item);
      after_number = false;
    }
  };
  (add(items), ...);
  return line;
}

}  // namespace kavor
