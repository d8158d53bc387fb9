// Element identification from 2-character labels: symbols and numerals, the
// stored single-precision masses, and the builder's label rewrite.
#include "core/elements.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavor {
namespace {

struct Identified {
  std::vector<Label> labels;
  AtomTable table;
};

// Runs identification over atoms whose labels come from the given input
// tokens (cut or padded to 2 characters as the reader does).
Identified identify(const std::vector<std::string>& tokens, Mode mode) {
  Identified r;
  for (const std::string& t : tokens) r.labels.push_back(make_label(t));
  const int n = static_cast<int>(tokens.size());
  r.table.assign(n, Atom{1.0, 2.0, 3.0, 0.0, 0.0});
  identify_elements(n, r.labels, r.table, mode);
  return r;
}

TEST(ElementLabels, ReaderTokensBecomeTwoCharacterLabels) {
  EXPECT_EQ(label_text(make_label("C")), "C ");
  EXPECT_EQ(label_text(make_label("Cl1")), "Cl");
  EXPECT_EQ(label_text(make_label("C12")), "C1");
  EXPECT_EQ(label_text(make_label("")), "  ");
}

TEST(ElementIdentification, SymbolAndNumeralGiveTheSameCarbon) {
  const Identified r = identify({"C", "6"}, Mode::analyzer);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(r.table[i].mass, 12.01099967956543) << i;
    EXPECT_EQ(r.table[i].znum, 6.0) << i;
    EXPECT_EQ(r.table[i].x, 1.0);  // coordinates untouched
  }
}

TEST(ElementIdentification, LabelsThatNameNothingKeepZeroMass) {
  // C1, CA, c: not symbols; 06, 0, 93: not numerals of Z = 1..92; CL and cl
  // differ in case from Cl; a C12 token arrives as C1.
  const Identified r =
      identify({"C1", "CA", "c", "06", "0", "93", "CL", "cl", "C12", "Xx", "99"}, Mode::analyzer);
  for (size_t i = 0; i < r.table.size(); ++i) {
    EXPECT_EQ(r.table[i].mass, 0.0) << label_text(r.labels[i]);
    EXPECT_EQ(r.table[i].znum, 0.0) << label_text(r.labels[i]);
  }
}

TEST(ElementIdentification, TwoLetterSymbolsAreNotSplit) {
  const Identified r = identify({"Cl1", "Co", "Sc", "B", "Br", "Pa", "Th"}, Mode::analyzer);
  EXPECT_EQ(r.table[0].znum, 17.0);  // Cl1 -> "Cl"
  EXPECT_EQ(r.table[1].znum, 27.0);  // cobalt, not carbon
  EXPECT_EQ(r.table[2].znum, 21.0);  // scandium, not sulfur
  EXPECT_EQ(r.table[3].znum, 5.0);
  EXPECT_EQ(r.table[4].znum, 35.0);
  EXPECT_EQ(r.table[5].znum, 91.0);
  EXPECT_EQ(r.table[6].znum, 90.0);
  // Protactinium is lighter than the thorium before it.
  EXPECT_LT(r.table[5].mass, r.table[6].mass);
  EXPECT_EQ(r.table[5].mass, static_cast<double>(231.03587f));
}

TEST(ElementTable, MassesAreSinglePrecisionValuesWidened) {
  EXPECT_EQ(element_mass(1), 1.0080000162124634);
  EXPECT_EQ(element_mass(6), 12.01099967956543);
  EXPECT_EQ(element_mass(92), 238.02891540527344);
  EXPECT_EQ(element_mass(43), 97.0);
  EXPECT_EQ(element_mass(89), 227.0);
  for (int z = 1; z <= kElementCount; ++z) {
    const double m = element_mass(z);
    EXPECT_EQ(static_cast<double>(static_cast<float>(m)), m) << z;  // exactly a float
  }
}

TEST(ElementTable, EverySymbolAndNumeralNamesItsOwnElement) {
  for (int z = 1; z <= kElementCount; ++z) {
    const std::string_view symbol = element_symbol(z);
    ASSERT_TRUE(symbol.size() == 1 || symbol.size() == 2) << z;
    EXPECT_TRUE(symbol[0] >= 'A' && symbol[0] <= 'Z') << z;
    if (symbol.size() == 2) {
      EXPECT_TRUE(symbol[1] >= 'a' && symbol[1] <= 'z') << z;
    }
    EXPECT_EQ(element_by_symbol(make_label(symbol)), z) << symbol;
    EXPECT_EQ(element_by_numeral(make_label(std::to_string(z))), z);
  }
  // No other pair of bytes (case, padding, digits, any byte) names an element.
  int named = 0;
  for (int first = 0; first < 256; ++first)
    for (int second = 0; second < 256; ++second)
      if (element_by_symbol(Label{static_cast<char>(first), static_cast<char>(second)}) != 0) ++named;
  EXPECT_EQ(named, kElementCount);
  EXPECT_EQ(element_symbol(1), "H");
  EXPECT_EQ(element_symbol(17), "Cl");
  EXPECT_EQ(element_symbol(92), "U");
}

TEST(ElementIdentification, BuilderRewritesNumeralLabelsAnalyzerKeepsThem) {
  const std::vector<std::string> tokens = {"6", "17", "1", "O", "C1"};
  const Identified builder = identify(tokens, Mode::builder);
  EXPECT_EQ(label_text(builder.labels[0]), "C ");
  EXPECT_EQ(label_text(builder.labels[1]), "Cl");
  EXPECT_EQ(label_text(builder.labels[2]), "H ");
  EXPECT_EQ(label_text(builder.labels[3]), "O ");
  EXPECT_EQ(label_text(builder.labels[4]), "C1");

  const Identified analyzer = identify(tokens, Mode::analyzer);
  EXPECT_EQ(label_text(analyzer.labels[0]), "6 ");
  EXPECT_EQ(label_text(analyzer.labels[1]), "17");
  EXPECT_EQ(label_text(analyzer.labels[2]), "1 ");
  // Same masses either way.
  for (size_t i = 0; i < tokens.size(); ++i) {
    EXPECT_EQ(builder.table[i].mass, analyzer.table[i].mass);
    EXPECT_EQ(builder.table[i].znum, analyzer.table[i].znum);
  }
  EXPECT_EQ(analyzer.table[1].mass, element_mass(17));
}

}  // namespace
}  // namespace kavor
