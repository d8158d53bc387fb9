// Result-file names built from the six placement parameters.
#include <gtest/gtest.h>

#include <sstream>

#include "core/errors.hpp"
#include "core/naming.hpp"
#include "core/session.hpp"
#include "test_util.hpp"

namespace kavor {
namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;

struct Names {
  std::ostringstream console;
  Session session;
  explicit Names(Mode mode) : session(console, ".", mode) {}
  ResultNames build(double r, double t, double p, double a, double b, double g) {
    return build_result_names(session, r, t * kRad, p * kRad, a * kRad, b * kRad, g * kRad);
  }
};

TEST(ResultNames, AnalyzerWorkedExample) {
  Names n(Mode::analyzer);
  const ResultNames names = n.build(3.5, 90, 45, 10, 20, 30);
  EXPECT_EQ(names.stem, "[0003.5-090-045]-(010-020-030");
  EXPECT_EQ(names.geometry, "[0003.5-090-045]-(010-020-030)-KAVOR.xyz");
  EXPECT_EQ(names.bild, "[0003.5-090-045]-(010-020-030)-KAVOR-UCSF-Chimera.bild");
  EXPECT_EQ(names.bild.size(), 54u);
  EXPECT_TRUE(n.console.str().empty());
}

TEST(ResultNames, DistanceFieldHasFourIntegerDigitsAndOneDecimal) {
  Names n(Mode::analyzer);
  const std::pair<double, const char*> cases[] = {
      {12.34, "[0012.3"}, {9.96, "[0010.0"}, {999.96, "[1000.0"}, {123.4, "[0123.4"},
      {1234.5, "[1234.5"}, {10.0, "[0010.0"}, {100.0, "[0100.0"}, {9999.9, "[9999.9"}};
  for (const auto& [r, prefix] : cases) {
    const ResultNames names = n.build(r, 90, 45, 10, 20, 30);
    EXPECT_EQ(names.stem.substr(0, 7), prefix) << "r = " << r;
    EXPECT_EQ(names.stem.size(), 29u);
  }
}

TEST(ResultNames, UndefinedDirectionsAreNad) {
  Names n(Mode::analyzer);
  EXPECT_EQ(n.build(0.04, 90, 45, 10, 20, 30).geometry, "[0000.0-NAD-NAD]-(010-020-030)-KAVOR.xyz");
  EXPECT_EQ(n.build(5.0, 0, 45, 10, 20, 30).stem.substr(0, 15), "[0005.0-000-NAD");
  EXPECT_EQ(n.build(5.0, 180, 45, 10, 20, 30).stem.substr(0, 15), "[0005.0-180-NAD");
  // theta 0.4 degrees rounds to 0: azimuth undefined; 0.6 rounds to 1.
  EXPECT_EQ(n.build(5.0, 0.4, 45, 10, 20, 30).stem.substr(0, 15), "[0005.0-000-NAD");
  EXPECT_EQ(n.build(5.0, 0.6, 45, 10, 20, 30).stem.substr(0, 15), "[0005.0-001-045");
  // 0.1 Angstrom is above the 0.099999 threshold and keeps its angles.
  EXPECT_EQ(n.build(0.1, 90, 45, 10, 20, 30).stem.substr(0, 15), "[0000.1-090-045");
}

TEST(ResultNames, AngleFieldsAreZeroFilledWholeDegrees) {
  Names n(Mode::analyzer);
  EXPECT_EQ(n.build(5.0, 5, 9.4, 0, 180, 99.5).stem, "[0005.0-005-009]-(000-180-100");
  EXPECT_EQ(n.build(5.0, 179.4, 359.4, 359.4, 0.5, 10.49).stem, "[0005.0-179-359]-(359-001-010");
}

TEST(ResultNames, DistanceAboveLimitStops) {
  Names n(Mode::analyzer);
  EXPECT_NO_THROW(n.build(9999.9, 90, 45, 10, 20, 30));
  EXPECT_THROW(n.build(9999.95, 90, 45, 10, 20, 30), ProgramStop);
  EXPECT_EQ(n.console.str(),
            "  distance between molecules greater than \n"
            "  9999.9 Angstrons \n"
            "  name file error \n");
}

TEST(ResultNames, BuilderReplacesFullTurnsAndHasFourSuffixes) {
  Names n(Mode::builder);
  ResultNames names = n.build(5.0, 180, 359.7, 359.8, 180, 360);
  EXPECT_EQ(names.stem, "[0005.0-180-NAD]-(000-180-000");
  names = n.build(5.0, 90, 359.7, 10, 20, 30);
  EXPECT_EQ(names.stem, "[0005.0-090-000]-(010-020-030");
  // beta rounds to 0 and alpha + gamma is a full turn: both become 0.
  names = n.build(5.0, 90, 45, 300, 0.3, 60);
  EXPECT_EQ(names.stem, "[0005.0-090-045]-(000-000-000");
  // Not a full turn: kept.
  names = n.build(5.0, 90, 45, 300, 0.3, 50);
  EXPECT_EQ(names.stem, "[0005.0-090-045]-(300-000-050");
  names = n.build(3.5, 90, 45, 10, 20, 30);
  EXPECT_EQ(names.geometry, "[0003.5-090-045]-(010-020-030)-UD-KAVOR.xyz");
  EXPECT_EQ(names.bild, "[0003.5-090-045]-(010-020-030)-UD-KAVOR-UCSF-Chimera.bild");
  EXPECT_EQ(names.short_geometry, "[0003.5-090-045]-(010-020-030)-SHORT-CONTACTS-IDENTIFED.xyz");
  EXPECT_EQ(names.short_bild, "[0003.5-090-045]-(010-020-030)-SHORT-CONTACTS-IDENTIFIED.bild");
  EXPECT_EQ(names.short_bild.size(), 61u);
}

TEST(ResultNames, RunWithoutFilesBuildsTheNameOnlyWhenAsked) {
  Names files(Mode::analyzer), quiet(Mode::analyzer), bare(Mode::analyzer);
  quiet.session.write_files = bare.session.write_files = false;
  bare.session.want_name = false;
  const double cases[][6] = {{3.5, 90, 45, 10, 20, 30},     {0.04, 90, 45, 10, 20, 30},
                             {5.0, 0.4, 45, 359.7, 0, 360}, {1234.5, 179.6, 300, -4, 1000, 99.5}};
  for (const auto& c : cases) {
    const ResultNames with_files = files.build(c[0], c[1], c[2], c[3], c[4], c[5]);
    const ResultNames named = quiet.build(c[0], c[1], c[2], c[3], c[4], c[5]);
    EXPECT_EQ(named.name, with_files.name);
    EXPECT_EQ(named.name, with_files.stem + ")");
    EXPECT_TRUE(bare.build(c[0], c[1], c[2], c[3], c[4], c[5]).name.empty());
  }
  // The distance limit stops the run whether or not the name is built.
  EXPECT_THROW(bare.build(9999.95, 90, 45, 10, 20, 30), ProgramStop);
}

TEST(ResultNames, AnalyzerKeepsFullTurnValues) {
  // The analyzer reduces its angles before naming; the namer itself does not.
  Names n(Mode::analyzer);
  EXPECT_EQ(n.build(5.0, 90, 359.7, 10, 20, 30).stem, "[0005.0-090-360]-(010-020-030");
}

}  // namespace
}  // namespace kavor
