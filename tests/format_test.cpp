#include "core/format.hpp"

#include <gtest/gtest.h>

namespace kavor {
namespace {

// Expected fields worked by hand and confirmed against a Fortran runtime.
TEST(FortranFields, RealRoundingAndOverflow) {
  EXPECT_EQ(fortran_f(7, 2, 1.0), "   1.00");
  EXPECT_EQ(fortran_f(7, 1, 1.25), "    1.2");  // 1.25 is exact: tie to even
  EXPECT_EQ(fortran_f(5, 2, 0.375), " 0.38");
  EXPECT_EQ(fortran_f(7, 2, -0.001), "  -0.00");
  EXPECT_EQ(fortran_f(7, 2, -0.0), "  -0.00");
  EXPECT_EQ(fortran_f(3, 2, 0.5), ".50");
  EXPECT_EQ(fortran_f(4, 2, -0.5), "-.50");
  EXPECT_EQ(fortran_f(7, 3, 12345.678), "*******");
  EXPECT_EQ(fortran_f(8, 3, -1000.0), "********");
  EXPECT_EQ(fortran_f(7, 1, 9999.95), "10000.0");
  EXPECT_EQ(fortran_f(15, 8, -1.5), "    -1.50000000");
  EXPECT_EQ(fortran_f(4, 0, 2.5), "  2.");
}

// Fields of the result files: unchanged while the number leaves a blank in
// front; otherwise one blank and the whole number, never asterisks.
TEST(FortranFields, SeparatedRealWidensOnlyAFullOrOverflowingField) {
  struct Case {
    int width, decimals;
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {8, 3, 1.5, "   1.500"},
      {8, 3, -0.0004, "  -0.000"},
      {8, 3, 999.9994, " 999.999"},
      {8, 3, -999.999, " -999.999"},      // fills the field: a blank in front
      {8, 3, 1500.0, " 1500.000"},
      {8, 3, 9999.9996, " 10000.000"},    // rounds to one digit more
      {8, 3, -1500.25, " -1500.250"},     // asterisks in F8.3
      {8, 3, 12345678.9, " 12345678.900"},
      {15, 8, -1.5, "    -1.50000000"},
      {15, 8, -10000.25597424, " -10000.25597424"},
      {15, 8, 123456.5, " 123456.50000000"},
      {15, 8, -123456.5, " -123456.50000000"},
  };
  for (const Case& c : cases) {
    const std::string field = fortran_f_separated(c.width, c.decimals, c.value);
    EXPECT_EQ(field, c.expected) << c.value;
    const std::string plain = fortran_f(c.width, c.decimals, c.value);
    if (plain[0] == ' ') {
      EXPECT_EQ(field, plain) << c.value;
    }
  }
}

TEST(FortranFields, IntegerAndText) {
  EXPECT_EQ(fortran_i(4, 90), "  90");
  EXPECT_EQ(fortran_i(4, -5), "  -5");
  EXPECT_EQ(fortran_i(2, 123), "**");
  EXPECT_EQ(fortran_i(2, 6), " 6");
  EXPECT_EQ(fortran_a(5, "ab"), "   ab");
  EXPECT_EQ(fortran_a(1, "abc"), "a");
  EXPECT_EQ(fortran_a(5, " NAD "), " NAD ");
}

TEST(FreeFormat, LeadingBlankAndTexts) {
  EXPECT_EQ(free_line(" KAVOR "), "  KAVOR ");
  EXPECT_EQ(free_line("  "), "   ");
  EXPECT_EQ(free_line("No Defined Angle", " r < 0.1 A"), " No Defined Angle r < 0.1 A");
  const std::string line = free_line(" r     ", 0.1);
  // A real reads back exactly.
  EXPECT_EQ(std::stod(line.substr(8)), 0.1);
  EXPECT_EQ(free_line(6), "            6");
}

}  // namespace
}  // namespace kavor

namespace kavor {
namespace {

TEST(FreeFormat, TextAfterNumberIsSetOff) {
  const std::string line = free_line("cosEixosZ", 1.0, "angle Z", 0.0);
  EXPECT_NE(line.find("E+00 angle Z"), std::string::npos) << line;
  EXPECT_EQ(free_line(10.0, " DEGREE ").substr(26), "  DEGREE ");
}

}  // namespace
}  // namespace kavor
