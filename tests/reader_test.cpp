// Reading "input-GEOMETRY.xyz" and the analyzer driver's input checks.
#include "core/reader.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/geometry_input.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::example;
using testing::read_file;
using testing::read_lines;
using testing::RunResult;
using testing::ScratchDir;
using testing::split_lines;
using testing::write_file;

const std::filesystem::path kData = std::filesystem::path(TEST_DATA_DIR) / "foundation";

GeometryBlock read_block(const std::string& contents) {
  FreeFormatReader reader("input-GEOMETRY.xyz", contents);
  GeometryBlock block;
  block.n = read_atom_count(reader);
  read_atoms_and_n1(reader, block);
  return block;
}

void expect_same_block(const GeometryBlock& a, const GeometryBlock& b) {
  ASSERT_EQ(a.n, b.n);
  EXPECT_EQ(a.n1, b.n1);
  for (int i = 0; i < a.n; ++i) {
    EXPECT_EQ(label_text(a.isymbol[i]), label_text(b.isymbol[i])) << i;
    EXPECT_EQ(a.icoo_and_m[i].x, b.icoo_and_m[i].x) << i;
    EXPECT_EQ(a.icoo_and_m[i].y, b.icoo_and_m[i].y) << i;
    EXPECT_EQ(a.icoo_and_m[i].z, b.icoo_and_m[i].z) << i;
    EXPECT_EQ(a.icoo_and_m[i].mass, 0.0);
    EXPECT_EQ(a.icoo_and_m[i].znum, 0.0);
  }
}

// Replaces every "\n" by "\r\n".
std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The lines the analyzer prints before any check on N1 and N.
std::vector<std::string> banner() {
  return {"   ",
          "   ",
          "   ",
          "  KAVOR Version 1.13.10 ",
          "   ",
          "  Authors: the KAVOR developers - molecular dimer placement analysis ",
          "  Please cite: KAVOR, relative placement of supramolecular pairs from principal axes of "
          "inertia ",
          "   ",
          "   "};
}

RunResult run_on(const ScratchDir& dir, const std::string& contents) {
  write_file(dir / "input-GEOMETRY.xyz", contents);
  return testing::run_kavor(dir.path());
}

// Six atoms, three per molecule; labels and N1 vary per test.
std::string six_atoms(const std::string& l1, const std::string& l2, int n1, int n = 6) {
  std::string text = std::to_string(n) + "\n";
  const double coords[6][3] = {{0, 0, 0}, {1.2, 0, 0}, {-0.5, 0.9, 0},
                               {0, 0, 4}, {1.2, 0, 4}, {-0.5, 0.9, 4}};
  for (int i = 0; i < n && i < 6; ++i) {
    text += (i < 3 ? l1 : l2) + " " + std::to_string(coords[i][0]) + " " +
            std::to_string(coords[i][1]) + " " + std::to_string(coords[i][2]) + "\n";
  }
  return text + "\n" + std::to_string(n1) + "\n";
}

TEST(FortranReal, AcceptsFortranForms) {
  double v = 0.0;
  ASSERT_TRUE(parse_fortran_real("1.0D0", v));
  EXPECT_EQ(v, 1.0);
  ASSERT_TRUE(parse_fortran_real("2.5d-1", v));
  EXPECT_EQ(v, 0.25);
  ASSERT_TRUE(parse_fortran_real("+.5", v));
  EXPECT_EQ(v, 0.5);
  ASSERT_TRUE(parse_fortran_real("5.", v));
  EXPECT_EQ(v, 5.0);
  ASSERT_TRUE(parse_fortran_real("-0.0", v));
  EXPECT_EQ(v, 0.0);
  EXPECT_TRUE(std::signbit(v));
  ASSERT_TRUE(parse_fortran_real("-1.5E+02", v));
  EXPECT_EQ(v, -150.0);
  ASSERT_TRUE(parse_fortran_real("0.1", v));
  EXPECT_EQ(v, 0.1);  // correctly rounded
}

// Short decimals, and longer ones with or without an exponent, take faster
// roads: the same double as from_chars, bit for bit.
TEST(FortranReal, ShortDecimalsEqualFromChars) {
  std::mt19937_64 rng(8);
  int differ = 0;
  for (int k = 0; k < 200000; ++k) {
    const int digits = 1 + static_cast<int>(rng() % 18);
    std::string text = rng() % 3 == 0 ? "-" : (rng() % 5 == 0 ? "+" : "");
    const int point = static_cast<int>(rng() % (digits + 2)) - 1;  // -1: none
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + rng() % 10);
    }
    if (point == digits) text += '.';
    if (k % 4 == 0) text += (k % 8 == 0 ? "e-" : "E") + std::to_string(rng() % 320);
    double parsed = 0.0, expected = 0.0;
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto read = std::from_chars(first, text.data() + text.size(), expected);
    if (read.ec != std::errc() || !std::isfinite(expected)) continue;  // out of range
    if (!parse_fortran_real(text, parsed) || std::memcmp(&parsed, &expected, sizeof parsed) != 0)
      ++differ;
  }
  EXPECT_EQ(differ, 0);
}

TEST(FortranReal, RejectsNonNumbersAndNonFiniteValues) {
  double v = 7.0;
  for (const char* text : {"",     ".",   "+",   "-.",  "abc",       "1.0.0", "1e",     "1.0D",
                           "1,0",  "nan", "NaN", "inf", "-Infinity", "1e400", "-1D999", "0x10",
                           "1..2", "+-5", "++5", "+",   "0x1p3",     "1e5.0"})
    EXPECT_FALSE(parse_fortran_real(text, v)) << text;
  EXPECT_EQ(v, 7.0);
}

TEST(FreeFormatReader, SeparatorsBlankLinesAndRestOfLine) {
  FreeFormatReader reader("f", "\n\n  3 ignored words\nC,1.0,\t-2.5 ,3\n\n\nO\n1 2 3 rest\n");
  EXPECT_EQ(reader.read_int("N"), 3);
  Token t[4];
  reader.read(t, "atom");
  EXPECT_EQ(t[0].text, "C");
  EXPECT_EQ(reader.to_real(t[2], "y"), -2.5);
  EXPECT_EQ(t[3].line, 4);
  // A read continues over blank lines and onto the next lines.
  reader.read(t, "atom");
  EXPECT_EQ(t[0].text, "O");
  EXPECT_EQ(t[0].line, 7);
  EXPECT_EQ(t[3].text, "3");
  EXPECT_EQ(t[3].line, 8);
  EXPECT_THROW(reader.read_int("N1"), InputError);
}

// split_values against a plain byte-by-byte split, on random lines of
// numbers, separators, signs, other bytes below '-' and bytes above 0x7f.
TEST(SplitValues, SameAsByteByByte) {
  std::mt19937_64 rng(11);
  const std::string alphabet = std::string("0123456789.-+eE \t,\r\f\v!*()#") + "\x80\xc3\xff";
  for (int k = 0; k < 50000; ++k) {
    std::string line;
    const size_t size = rng() % 90;
    for (size_t i = 0; i < size; ++i) line += alphabet[rng() % alphabet.size()];
    std::vector<std::string_view> want;
    for (size_t i = 0; i < line.size();) {
      if (is_separator(line[i])) {
        ++i;
        continue;
      }
      const size_t start = i;
      while (i < line.size() && !is_separator(line[i])) ++i;
      want.push_back(std::string_view(line).substr(start, i - start));
    }
    std::string_view got[64];
    const int count = split_values(line, got, 64);
    ASSERT_EQ(static_cast<size_t>(count), want.size()) << line;
    for (int t = 0; t < count; ++t) ASSERT_EQ(got[t], want[static_cast<size_t>(t)]) << line;
  }
}

TEST(FreeFormatReader, ErrorsNameFileLineAndWhatWasExpected) {
  FreeFormatReader reader("input-GEOMETRY.xyz", "12\nC 1.0 x 3.0\n");
  EXPECT_EQ(reader.read_int("N"), 12);
  Token t[4];
  reader.read(t, "atom 1");
  try {
    reader.to_real(t[2], "y of atom 1");
    FAIL() << "no error";
  } catch (const InputError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("input-GEOMETRY.xyz:2"), std::string::npos) << what;
    EXPECT_NE(what.find("y of atom 1"), std::string::npos) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos) << what;
  }
  FreeFormatReader empty("input-GEOMETRY.xyz", "");
  EXPECT_THROW(empty.read_int("N"), InputError);
  FreeFormatReader big("f", "2147483648\n");
  EXPECT_THROW(big.read_int("N"), InputError);
  FreeFormatReader real("f", "6.0\n");
  EXPECT_THROW(real.read_int("N"), InputError);
}

TEST(GeometryInput, LayoutVariantsReadTheSame) {
  const std::string original = read_file(example("formamide-dimer"));
  const GeometryBlock reference = read_block(original);
  ASSERT_EQ(reference.n, 12);
  EXPECT_EQ(reference.n1, 6);
  EXPECT_EQ(label_text(reference.isymbol[0]), "C ");
  EXPECT_EQ(reference.icoo_and_m[1].x, 0.33605175);

  // Atoms starting on line 3 after a blank line, as the builder writes.
  std::string blank_second = original;
  blank_second.insert(blank_second.find('\n') + 1, "\n");
  expect_same_block(read_block(blank_second), reference);
  // CR LF line ends.
  expect_same_block(read_block(with_crlf(original)), reference);
  // Commas as separators, and extra text after N1.
  std::string commas = original;
  for (char& c : commas)
    if (c == ' ') c = ',';
  expect_same_block(read_block(commas + "trailing text\n"), reference);
}

TEST(GeometryInput, FortranNumberFormsAndLongLabels) {
  const GeometryBlock block = read_block(
      "  6\nCl1 1.0D0 +.5 5.\nC12 -0.0 2.5d1 1E-1\n6 0 0 0\n17 1 1 1\nH 2 2 2\nXyz 3 3 3\n"
      "anything at all\n 3 \n");
  EXPECT_EQ(label_text(block.isymbol[0]), "Cl");
  EXPECT_EQ(label_text(block.isymbol[1]), "C1");
  EXPECT_EQ(label_text(block.isymbol[2]), "6 ");
  EXPECT_EQ(label_text(block.isymbol[3]), "17");
  EXPECT_EQ(label_text(block.isymbol[5]), "Xy");
  EXPECT_EQ(block.icoo_and_m[0].x, 1.0);
  EXPECT_EQ(block.icoo_and_m[0].y, 0.5);
  EXPECT_EQ(block.icoo_and_m[0].z, 5.0);
  EXPECT_TRUE(std::signbit(block.icoo_and_m[1].x));
  EXPECT_EQ(block.icoo_and_m[1].y, 25.0);
  EXPECT_EQ(block.icoo_and_m[1].z, 0.1);
  EXPECT_EQ(block.n1, 3);
}

TEST(GeometryInput, NegativeAtomCountIsAnInputError) {
  FreeFormatReader reader("f", "-1\n");
  EXPECT_THROW(read_atom_count(reader), InputError);
}

TEST(AnalyzerInput, BlankLineCrLfAndCommasGiveTheSameRun) {
  const std::string original = read_file(example("formamide-dimer"));
  ScratchDir plain, variant;
  const RunResult a = run_on(plain, original);
  std::string changed = original;
  changed.insert(changed.find('\n') + 1, "\n");
  for (char& c : changed)
    if (c == ' ') c = ',';
  const RunResult b = run_on(variant, with_crlf(changed));
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(read_file(plain / "LOG-PARAM-ONLY.txt"), read_file(variant / "LOG-PARAM-ONLY.txt"));
  EXPECT_EQ(plain.files(), variant.files());
}

TEST(AnalyzerInput, UnreadableFilesExitWithStatus2AndOneMessageLine) {
  struct Case {
    const char* fixture;
    const char* line;  // "file:line" the message must name
  };
  const Case cases[] = {
      {"truncated-atoms.xyz", "input-GEOMETRY.xyz:5"},      // ends in the atom list
      {"truncated-before-n1.xyz", "input-GEOMETRY.xyz:9"},  // ends before N1
      {"title-line.xyz", "input-GEOMETRY.xyz:2"},           // title read as label and x
      {"nan-coordinate.xyz", "input-GEOMETRY.xyz:6"},
      {"overflowing-coordinate.xyz", "input-GEOMETRY.xyz:6"},
      {"word-coordinate.xyz", "input-GEOMETRY.xyz:6"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::filesystem::copy_file(kData / c.fixture, dir / "input-GEOMETRY.xyz");
    const RunResult r = testing::run_kavor(dir.path());
    EXPECT_EQ(r.status, kExitIoError) << c.fixture;
    EXPECT_EQ(r.out, "") << c.fixture;
    EXPECT_NE(r.err.find(c.line), std::string::npos) << c.fixture << ": " << r.err;
    EXPECT_EQ(split_lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(!r.err.empty() && r.err.back() == '\n');
    EXPECT_EQ(dir.files(), std::vector<std::string>{"input-GEOMETRY.xyz"}) << c.fixture;
  }
  for (const char* text : {"-6\n", "", "six\n"}) {
    ScratchDir dir;
    const RunResult r = run_on(dir, text);
    EXPECT_EQ(r.status, kExitIoError) << text;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(split_lines(r.err).size(), 1u) << r.err;
  }
  ScratchDir missing;
  const RunResult r = testing::run_kavor(missing.path());
  EXPECT_EQ(r.status, kExitIoError);
  EXPECT_NE(r.err.find("input-GEOMETRY.xyz"), std::string::npos) << r.err;
}

TEST(AnalyzerInput, TooManyAtomsIsTheOnlyOutput) {
  ScratchDir dir;
  // Nothing after the count is read: the atoms need not be there.
  const RunResult r = run_on(dir, "150001\nC 0 0 0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "  max number of atoms -150000- exceeded \n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.files(), std::vector<std::string>{"input-GEOMETRY.xyz"});
}

TEST(AnalyzerInput, TooFewAtomsPrintsBannerAndThreeLines) {
  struct Case {
    std::string input;
    std::string last;
  };
  const Case cases[] = {
      {six_atoms("C", "O", 2), "  ERROR \t"},     // N1 <= 2: ends with a tab
      {six_atoms("C", "O", 1, 5), "  ERROR \t"},  // N1 is tested first
      {six_atoms("C", "O", 3, 5), "  ERROR "},    // N <= 5: no tab
      // Molecule 2 with one or two atoms is a too-large N1.
      {six_atoms("C", "O", 4), "  ERROR \t"},
      {six_atoms("C", "O", 5), "  ERROR \t"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const RunResult r = run_on(dir, c.input);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected = banner();
    expected.push_back("  This version allow the study of entities ");
    expected.push_back("  with more than 2 atoms ");
    expected.push_back(c.last);
    EXPECT_EQ(split_lines(r.out), expected) << c.input;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.files(), std::vector<std::string>{"input-GEOMETRY.xyz"});
  }
}

TEST(AnalyzerInput, MoleculeTwoWithoutAtomsStops) {
  ScratchDir dir;
  const RunResult r = run_on(dir, six_atoms("C", "O", 6));
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> expected = banner();
  expected.push_back("  molecule 2 has no atoms: N1 must be smaller than N ");
  expected.push_back("  ERROR ");
  EXPECT_EQ(split_lines(r.out), expected);
  EXPECT_EQ(dir.files(), std::vector<std::string>{"input-GEOMETRY.xyz"});
}

TEST(AnalyzerInput, SmallestSplitPassesTheCountChecks) {
  // N = 6, N1 = 3 is accepted; with no recognised label the core then
  // refuses the molecule before writing any report line.
  for (int which = 1; which <= 3; ++which) {
    ScratchDir dir;
    const RunResult r = run_on(dir, six_atoms(which & 1 ? "Xx" : "C", which & 2 ? "Qq" : "O", 3));
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected = banner();
    if (which & 1) expected.push_back("  molecule 1 has no recognised element label ");
    if (which & 2) expected.push_back("  molecule 2 has no recognised element label ");
    EXPECT_EQ(split_lines(r.out), expected) << which;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"input-GEOMETRY.xyz"});
  }
}

}  // namespace
}  // namespace kavor
