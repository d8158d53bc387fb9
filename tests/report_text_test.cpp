// The analyzer's report and summary for a real pair (the formamide dimer),
// read line by line: texts exactly, free-format numbers by count and, where
// an independent value is known, by value.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/elements.hpp"
#include "core/geometry_input.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

using testing::read_lines;
using testing::ScratchDir;
using testing::split_lines;

// One expected line. A free-format line is one blank, `text`, then `nums`
// numbers, then `suffix`; a formatted line matches `format` instead.
struct L {
  L(std::string line_text, int count = 0, std::string line_suffix = "")
      : text(std::move(line_text)), nums(count), suffix(std::move(line_suffix)) {}
  std::string text;
  int nums;
  std::string suffix;
  std::string format;  // regular expression for a fixed-field line
};

L F(const std::string& format) {
  L line("");
  line.format = format;
  return line;
}

std::vector<double> numbers(const std::string& text) {
  std::istringstream in(text);
  std::vector<double> v;
  std::string word;
  while (in >> word) {
    size_t used = 0;
    v.push_back(std::stod(word, &used));
    if (used != word.size()) return {};
  }
  return v;
}

// Matches `expected` against lines[at...], advancing `at`. Returns the
// numbers read, in order.
std::vector<double> match(const std::vector<std::string>& lines, size_t& at,
                          const std::vector<L>& expected, const std::string& where) {
  std::vector<double> read;
  for (const L& e : expected) {
    if (at >= lines.size()) {
      ADD_FAILURE() << where << ": report ends before '" << e.text << "'";
      return read;
    }
    const std::string& line = lines[at++];
    if (!e.format.empty()) {
      EXPECT_TRUE(std::regex_match(line, std::regex(e.format)))
          << where << " line " << at << ": '" << line << "' !~ " << e.format;
      continue;
    }
    const std::string head = " " + e.text;
    if (e.nums == 0 && e.suffix.empty()) {
      EXPECT_EQ(line, head) << where << " line " << at;
      continue;
    }
    if (line.rfind(head, 0) != 0 || !line.ends_with(e.suffix) ||
        line.size() < head.size() + e.suffix.size()) {
      ADD_FAILURE() << where << " line " << at << ": '" << line << "' should hold '" << e.text
                    << "' + " << e.nums << " numbers + '" << e.suffix << "'";
      continue;
    }
    const auto v = numbers(line.substr(head.size(), line.size() - head.size() - e.suffix.size()));
    EXPECT_EQ(static_cast<int>(v.size()), e.nums)
        << where << " line " << at << ": '" << line << "'";
    read.insert(read.end(), v.begin(), v.end());
  }
  return read;
}

std::vector<L> repeat(const L& l, int times) { return std::vector<L>(times, l); }
void append(std::vector<L>& a, const std::vector<L>& b) { a.insert(a.end(), b.begin(), b.end()); }

const L kBlank{"  "};
const L kHyphens{std::string(35, '-')};

std::vector<L> centre_of_mass_section(int m, const std::vector<int>& zs) {
  std::vector<L> s = {{" ################################# "},
                      kBlank,
                      {" center of mass data "},
                      kBlank,
                      {m == 1 ? " molecule 1 " : " molecule 2 "},
                      kBlank,
                      {" xcm ycm zcm ", 3},
                      kBlank,
                      {" center of mass table "},
                      kBlank};
  for (size_t i = 0; i < zs.size(); ++i) {
    s.push_back({"atomic number", 4});
    s.push_back({"number of Z atoms=", 1});
    s.push_back({" distance from CM ", 1});
  }
  append(s, repeat(kBlank, 3));
  return s;
}

std::vector<L> inertia_sections() {
  // (3F7.2) with unit-vector components.
  const L f72 = F("(   \\d\\.\\d\\d|  -\\d\\.\\d\\d){3}");
  const L molecula{" molecula ", 1};
  std::vector<L> s = {
      kBlank, {" TENSOR OF THE MOMENT OF INERTIA "}, molecula, kBlank, kBlank, {"", 3}, {"", 3},
      {"", 3}};
  append(s,
         {kBlank,
          {" EIGENVECTORS: A eigen1, B eigen 2, C eigen 3 "},
          {" for asymmetric top:" + std::string(34, ' ') + "I_A (blue) < I_B (green) < I_C (red) "},
          {" I A  (eigenvector 1)  (blue)"},
          {" I B  (eigenvector 2)  (green)"},
          {" I C  (eigenvector 3)  (red)"},
          kBlank,
          {"  EIGENVECTORS:  "},
          molecula,
          kBlank,
          kBlank,
          kBlank,
          {" x     y      z    eigenvector 1 (A)"},
          f72,
          {" x     y      z    eigenvector 2 (B)"},
          f72,
          {" x     y      z    eigenvector 3 (C)"},
          f72,
          {" "}});
  for (const char* unit : {"(g cm^2):", "(kg m^2):"}) {
    append(s, {kBlank,
               kBlank,
               {std::string(" EIGENVALUES: Moments of Inertia ") + unit},
               molecula,
               {"  I_A <I_B <I_C"},
               kBlank,
               {" eig 1  I_A", 1},
               {" eig 2  I_B", 1},
               {" eig 3  I_C", 1},
               kBlank,
               kBlank});
  }
  append(s, {kBlank,        kBlank,  {" Rot Constant = h/(8*Pi**2*c*I) "},
             {"fator ", 1}, kBlank,  kBlank,
             kBlank,        kBlank,  {"ROTATIONAL CONSTANTS (GHz): "},
             molecula,      kBlank,  kBlank,
             {"", 1},       {"", 1}, {"", 1},
             kBlank,        kBlank,  {"ROTATIONAL CONSTANTS (cm-1): "},
             molecula,      kBlank,  kBlank,
             {"", 1},       {"", 1}, {"", 1},
             kBlank,        kBlank});
  return s;
}

// The end-point table (three axis end points and the centre of each
// molecule), then two pairs of hyphen lines, as both data sections end.
std::vector<L> endpoint_table_and_rules() {
  std::vector<L> s = {{" molecula 1 ", 3}, {" molecula 1 ", 3}, {" molecula 1 ", 3}, {"   cm 1", 3},
                      {" molecula 2 ", 3}, {" molecula 2 ", 3}, {" molecula 2 ", 3}, {"   cm 2", 3}};
  append(s, repeat(kBlank, 3));
  append(s, {kHyphens, kHyphens});
  append(s, repeat(kBlank, 3));
  append(s, {kHyphens, kHyphens});
  return s;
}

std::vector<L> initial_data_section() {
  std::vector<L> s = repeat(kBlank, 3);
  append(s, {kHyphens, kHyphens});
  append(s, repeat(kBlank, 3));
  append(s, {kHyphens, kHyphens, {"   dados coletados inicialmente  "}, kBlank});
  append(s, endpoint_table_and_rules());
  return s;
}

std::vector<L> verification_section() {
  const L hashes{" " + std::string(51, '#') + " "};
  struct Block {
    int m;
    std::vector<L> separator;
    std::string heading;
  };
  const std::vector<Block> blocks = {
      {1, {kBlank}, "(tensor) \\times (vector C)=IC \\times (vector C)"},
      {1, {kBlank}, "(tensor) \\times (vector B)=IB \\times (vector B)"},
      {1, {kBlank}, "(tensor) \\times (vector A)=IA \\times (vector A)"},
      {2, {hashes, kBlank}, " (tensor) \\times (vector C)=IC \\times (vector C)"},
      {2, {kBlank}, " (tensor) \\times (vector B)=IB \\times (vector B)"},
      {2, {kBlank}, "(tensor) \\times (vector A)=IA \\times (vector A)"},
      {1, {{"  OPOSITE DIRECTION "}}, "(tensor) \\times (-vector C)=IC \\times (-vector C)"},
      {1, {{" OPOSITE DIRECTION  "}}, "(tensor) \\times (-vector B)=IB \\times (-vector B)"},
      {1, {{" OPOSITE DIRECTION  "}}, "(tensor) \\times (-vector A)=IA \\times (vector A)"},
      {2,
       {hashes, {" OPOSITE DIRECTION  "}},
       "(tensor) \\times (-vector C)=IC \\times (-vector C)"},
      {2, {{"OPOSITE DIRECTION   "}}, "(tensor) \\times (-vector B)=IB \\times (-vector B)"},
      {2, {{" OPOSITE DIRECTION  "}}, "(tensor) \\times (-vector A)=IA \\times (vector A)"},
  };
  std::vector<L> s;
  for (size_t b = 0; b < blocks.size(); ++b) {
    if (b == 6) append(s, {hashes, {" EIGENVALUE PROBLEM TEST - OPOSITE DIRECTION "}});
    append(s, blocks[b].separator);
    append(s, {{blocks[b].m == 1 ? " eigenvalue problem verification - molecule 1 "
                                 : " eigenvalue problem verification - molecule 2 "},
               kBlank,
               {blocks[b].heading},
               {" vector coord. through eigenproblem: "},
               {"", 3},
               {" eigenvector previously evaluated: "},
               {"", 3},
               kBlank});
  }
  append(s, {hashes, hashes, hashes});
  return s;
}

std::vector<L> flag_rows() {
  std::vector<L> s;
  for (int k = 1; k <= 6; ++k) {
    s.push_back({"eigenvector " + std::to_string(k) + " flags:  ", 2});
    if (k == 3 || k == 6) s.push_back({" "});
  }
  return s;
}

std::vector<L> direction_flag_sections(int pass) {
  std::vector<L> s = {kBlank,
                      {"   "},
                      {"   "},
                      {" VALOR EMPREGADO COM REFERENCIA  "},
                      {" PARA ATRIBUICAO DE Y or N  "},
                      {" diferenca detectavel : "},
                      {"", 1, " DEGREE "},
                      {"   "},
                      {"   "}};
  const char* plus[6] = {" angle eigen 1 (z) ref ", " angle eigen 2 (y) ref ",
                         " angle eigen 3 (x) ref ", " angle eigen 1 (Y) ref ",
                         " angle eigen 2 (X) ref ", " angle eigen 3 (Z) ref "};
  const char* minus[6] = {" angle -eigen 1(z) ref ",  " angle -eigen 2 (y) ref ",
                          " angle -eigen 3 (x) ref ", " angle -eigen 1 (Y) ref ",
                          " angle -eigen 2 (X) ref ", " angle -eigen 3 (Z) ref "};
  for (int m = 0; m < 2; ++m) {
    append(s, {{" "}, {m == 0 ? " MOLECULE 1" : " MOLECULE 2"}, {" "}});
    for (int j = 0; j < 3; ++j) {
      append(s, {{plus[3 * m + j], 1}, {" "}, {minus[3 * m + j], 1}});
      if (m == 0 || j < 2) s.push_back({" "});
    }
  }
  if (pass == 1)
    append(s, {{" ----------------------------"},
               {" ajusted direction table "},
               {" ----------------------------"}});
  append(s, {kBlank,
             {" DIRECTION FLAG TABLE "},
             kBlank,
             {" distinguishable-AXIS FLAG                           and RELATIVE postiiton TO "
              "HIGHER-Z-CM FLAG "},
             kBlank});
  append(s, flag_rows());
  return s;
}

std::vector<L> orientation_sections() {
  std::vector<L> s;
  for (const char* title : {"escrita de eigenvectors ANTES DE ANALISE Z-HIGHER-CM",
                            "escrita de eigenvectors apos ANALISE Z-HIGHER-CM"}) {
    append(s, {{std::string(41, '=')},
               {title},
               {" 7 ", 3},
               {"17 ", 3},
               {" 8 ", 3},
               {" 7 ", 3},
               {"17 ", 3},
               {" 8 ", 3},
               {std::string(41, '=')}});
  }
  append(s, {kBlank,
             {" ----------------------------"},
             {" Logo apos analise - ajusted direction table "},
             {" ----------------------------"},
             kBlank,
             kBlank,
             {" DIRECTION FLAG TABLE "},
             kBlank,
             {" distinguishable-AXIS FLAG  "},
             {" and RELATIVE postiiton TO HIGHER-Z-CM FLAG "},
             kBlank});
  append(s, flag_rows());
  return s;
}

// Cases 5 and 6 (both molecules Y Y N) and the data section.
std::vector<L> frame_sections() {
  const L stars{std::string(44, '*')};
  std::vector<L> s = {stars,
                      {" ANALISE E MONTAGEM xyz right-handed Y Y N "},
                      kBlank,
                      {" molecule 1 "},
                      kBlank,
                      {" modulo z ", 1},
                      {" modulo y ", 1},
                      kBlank,
                      kBlank,
                      {" verificacao - cenario atual z -cross product- y "},
                      {" modulo n ", 1},
                      {" modulo x ", 1},
                      {"dotprodct n.dot.x  actual", 1},
                      {" expected for xyz right-handed: negative value"},
                      {"dotproduct n.dot.x after analysis ", 1},
                      stars};
  append(s, {stars,
             {" ANALISE E MONTAGEM XYZ right-handed Y Y N  "},
             kBlank,
             {" molecule 2 "},
             kBlank,
             {" modulo Y ", 1},
             {" modulo X ", 1},
             kBlank,
             kBlank,
             {" verificacao - cenario atual Y -cross product- X "},
             {" modulo n ", 1},
             {" modulo Z ", 1},
             {"dotprodct n.dot.Z  actual", 1},
             {" expected for XYZ right-handed: negative value"},
             {"dotproduct n.dot.Z after analysis ", 1},
             stars});
  append(s, repeat(kBlank, 5));
  append(s, {kHyphens, kHyphens});
  append(s, repeat(kBlank, 3));
  append(s,
         {kHyphens, kHyphens, kBlank, {"   dados coletados apos analise righ-handed  "}, kBlank});
  append(s, endpoint_table_and_rules());
  return s;
}

size_t find_from(const std::vector<std::string>& lines, const std::string& text, size_t from) {
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i] == text) return i;
  return lines.size();
}

class FormamideDimerReport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    std::filesystem::copy_file(testing::example("formamide-dimer"), *dir_ / "input-GEOMETRY.xyz");
    run_ = new testing::RunResult(testing::run_kavor(dir_->path()));
    report_ = new std::vector<std::string>(read_lines(*dir_ / "LOG-PARAM-ONLY.txt"));
  }
  static void TearDownTestSuite() {
    delete report_;
    delete run_;
    delete dir_;
  }
  // Centres of mass of the input's two molecules, by hand.
  static std::array<Vec3, 2> input_centres() {
    FreeFormatReader reader = FreeFormatReader::from_file(testing::example("formamide-dimer"));
    GeometryBlock b;
    b.n = read_atom_count(reader);
    read_atoms_and_n1(reader, b);
    std::array<Vec3, 2> c{};
    double mass[2] = {0, 0};
    for (int i = 0; i < b.n; ++i) {
      const int m = i < b.n1 ? 0 : 1;
      const double w = element_mass(element_by_symbol(b.isymbol[i]));
      mass[m] += w;
      c[m].x += w * b.icoo_and_m[i].x;
      c[m].y += w * b.icoo_and_m[i].y;
      c[m].z += w * b.icoo_and_m[i].z;
    }
    for (int m = 0; m < 2; ++m) c[m] = {c[m].x / mass[m], c[m].y / mass[m], c[m].z / mass[m]};
    return c;
  }
  static ScratchDir* dir_;
  static testing::RunResult* run_;
  static std::vector<std::string>* report_;
};
ScratchDir* FormamideDimerReport::dir_ = nullptr;
testing::RunResult* FormamideDimerReport::run_ = nullptr;
std::vector<std::string>* FormamideDimerReport::report_ = nullptr;

TEST_F(FormamideDimerReport, HeaderIsWrittenOnce) {
  ASSERT_EQ(run_->status, 0) << run_->err;
  const auto& r = *report_;
  ASSERT_GT(r.size(), 30u);
  const std::string stars53 = " " + std::string(53, '*');
  EXPECT_EQ(r[0], "   ");
  EXPECT_EQ(r[1], "   ");
  EXPECT_EQ(r[2], stars53);
  // r[3], r[4]: source-file label and build identifier (free texts).
  EXPECT_EQ(r[5].rfind(" *", 0), 0u) << r[5];  // asterisks with dates and author
  EXPECT_EQ(r[6], " ****************************Diagonalization: LAPACK *");
  EXPECT_EQ(r[7], stars53);
  for (int i : {8, 9}) {
    EXPECT_EQ(r[i].size(), 54u) << r[i];
    EXPECT_EQ(r[i].rfind(" *", 0), 0u) << r[i];
    EXPECT_TRUE(r[i].ends_with("*")) << r[i];
  }
  EXPECT_EQ(r[10], stars53);
  for (int i : {13, 14, 15}) EXPECT_EQ(r[i], "   ");
  EXPECT_EQ(r[16], "  KAVOR Version 1.13.10 ");
  for (int i : {17, 18, 19}) EXPECT_EQ(r[i], "   ");
  EXPECT_EQ(r[22], "   ");
  EXPECT_EQ(r[23], "   ");
  EXPECT_EQ(r[24], "  ################################# ");
  EXPECT_EQ(std::count(r.begin(), r.end(), stars53), 3);  // header only
  EXPECT_EQ(
      std::count(r.begin(), r.end(), " ****************************Diagonalization: LAPACK *"), 1);
}

TEST_F(FormamideDimerReport, EveryPassWritesTheInertiaAndFrameSectionsInOrder) {
  ASSERT_EQ(run_->status, 0) << run_->err;
  const auto& r = *report_;
  const auto cm = input_centres();
  // Formamide: H (3 atoms), C, N, O.
  const std::vector<int> zs = {1, 6, 7, 8};
  size_t at = 24;
  for (int pass = 0; pass < 3; ++pass) {
    const std::string where = "pass " + std::to_string(pass);
    ASSERT_LT(at, r.size()) << where;
    for (int m = 1; m <= 2; ++m) {
      const auto cm_numbers = match(r, at, centre_of_mass_section(m, zs), where);
      ASSERT_EQ(cm_numbers.size(), 3u + 4 * 6);
      if (pass == 0) {
        EXPECT_NEAR(cm_numbers[0], cm[m - 1].x, 1e-12);
        EXPECT_NEAR(cm_numbers[1], cm[m - 1].y, 1e-12);
        EXPECT_NEAR(cm_numbers[2], cm[m - 1].z, 1e-12);
      }
      // Groups in increasing Z with their counts (every pass the same).
      for (size_t g = 0; g < zs.size(); ++g) {
        EXPECT_EQ(cm_numbers[3 + 6 * g], zs[g]);
        EXPECT_EQ(cm_numbers[3 + 6 * g + 4], g == 0 ? 3.0 : 1.0);
      }
      const auto in = match(r, at, inertia_sections(), where);
      // molecula, tensor (9), molecula x 2, moments, molecula, moments in
      // kg m^2, fator, molecula, GHz, molecula, cm-1.
      ASSERT_EQ(in.size(), 28u);
      // Moments ascending; kg m^2 = g cm^2 x 1e-7 (as float); cm-1 = GHz / 30.
      EXPECT_LE(in[12], in[13]);
      EXPECT_LE(in[13], in[14]);
      EXPECT_NEAR(in[14], in[12] + in[13], 1e-12 * in[14]);  // planar molecule
      for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(in[16 + j], in[12 + j] * 1.0000000116860974e-07);
        EXPECT_EQ(in[21 + j], (1.0 / in[12 + j]) * in[19]);
        EXPECT_EQ(in[25 + j], in[21 + j] / 30.0);
      }
      EXPECT_EQ(in[19], 8.397824785295456e-38);
    }
    match(r, at, initial_data_section(), where);
    const auto checks = match(r, at, verification_section(), where);
    ASSERT_EQ(checks.size(), 72u);
    for (size_t b = 0; b < 12; ++b)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(checks[6 * b + c], checks[6 * b + 3 + c], 1e-12);

    const auto angles = match(r, at, direction_flag_sections(pass), where);
    ASSERT_EQ(angles.size(), 1u + 12 + 12);
    EXPECT_EQ(angles[0], 10.0);
    // Acute angles to the higher-Z-CM (oxygen): 10.28, 79.72, 90.00 degrees.
    const double acute[3] = {10.28, 79.72, 90.0};
    for (int k = 0; k < 6; ++k) {
      const double plus = angles[1 + 2 * k], minus = angles[2 + 2 * k];
      EXPECT_NEAR(plus + minus, 180.0, 1e-9);
      EXPECT_NEAR(std::min(plus, minus), acute[k % 3], 0.02) << where << " axis " << k;
    }
    for (int k = 0; k < 6; ++k) EXPECT_EQ(angles[13 + 2 * k], k % 3 == 2 ? 0.0 : 10.0);

    const auto dumps = match(r, at, orientation_sections(), where);
    ASSERT_EQ(dumps.size(), 36u + 12);
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(dumps[36 + 2 * k], k % 3 == 2 ? 0.0 : 10.0);
      EXPECT_EQ(dumps[37 + 2 * k], 1.0);
    }
    const auto frames = match(r, at, frame_sections(), where);
    ASSERT_EQ(frames.size(), 12u + 24);
    for (int c = 0; c < 2; ++c) {
      const double t = frames[6 * c + 4], t_after = frames[6 * c + 5];
      EXPECT_LE(t_after, 0.0);
      EXPECT_TRUE(t_after == t || t_after == -t);
    }
    // The next pass starts with molecule 1's centre-of-mass section.
    if (pass < 2) at = find_from(r, "  ################################# ", at);
  }
  // Only the second pass writes the "ajusted direction table" lines.
  EXPECT_EQ(std::count(r.begin(), r.end(), "  ajusted direction table "), 1);
}

TEST_F(FormamideDimerReport, SummaryAndClosingBlock) {
  ASSERT_EQ(run_->status, 0) << run_->err;
  const auto out = split_lines(run_->out);
  ASSERT_EQ(out.size(), 9u + 14);
  size_t at = 9;
  const auto summary = match(out, at,
                             {kBlank,
                              kBlank,
                              {" KAVOR "},
                              kBlank,
                              {" POSITION:[r, theta(polar angle), phi(azimuth angle)]"},
                              kBlank,
                              F("[ \\d]{5}\\.\\d[ \\d]{3}\\d[ \\d]{3}\\d"),
                              kBlank,
                              {" ROTATION: (alpha,beta and gamma Euler angles)"},
                              kBlank,
                              F("([ \\d]{3}\\d){3}"),
                              kBlank,
                              kBlank,
                              kBlank},
                             "summary");
  EXPECT_TRUE(summary.empty());
  // r is the distance between the centres of mass.
  const auto cm = input_centres();
  const double r = std::sqrt(std::pow(cm[0].x - cm[1].x, 2) + std::pow(cm[0].y - cm[1].y, 2) +
                             std::pow(cm[0].z - cm[1].z, 2));
  EXPECT_NEAR(std::stod(out[15].substr(0, 7)), r, 0.05 + 1e-9);
  const std::string rotation = out[19];

  const auto& rep = *report_;
  const std::vector<L> closing = {kBlank,
                                  kBlank,
                                  {" KAVOR "},
                                  kBlank,
                                  {" POSITION: r, theta[polar angle], phi[azimuth angle]"},
                                  {" ROTATION: alpha,beta and gamma Euler angles"},
                                  kBlank,
                                  F(rotation),
                                  kBlank,
                                  kBlank,
                                  {" *************************************************** "},
                                  kBlank,
                                  {" KAVOR Version 1.13.10 "},
                                  kBlank};
  // Label line and build identifier, the block, credit, citation, blank.
  ASSERT_GT(rep.size(), closing.size() + 5);
  size_t start = rep.size() - (2 + closing.size() + 3);
  at = start + 2;
  match(rep, at, closing, "closing block");
  EXPECT_EQ(rep[at], out[5]);      // credit line, as in the banner
  EXPECT_EQ(rep[at + 1], out[6]);  // citation line
  EXPECT_EQ(rep[at + 2], "   ");
  EXPECT_EQ(at + 3, rep.size());
}

}  // namespace
}  // namespace kavor
