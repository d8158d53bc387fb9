// The installed door kavor/kavor.hpp: stops are statuses, nonsense is an
// exception. (Its values against kavor-batch: the consumer project's test.)
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "kavor/kavor.hpp"

namespace {

// A methanol dimer (kavor's example), molecule 1 first.
const std::vector<std::string> kLabels = {"C", "O", "H", "H", "H", "H",
                                          "C", "O", "H", "H", "H", "H"};
const std::vector<std::array<double, 3>> kPositions = {{0.0, 0.0, 0.0},
                                                       {1.425, 0.0, 0.0},
                                                       {1.7248529, -0.89616585, 0.0},
                                                       {-0.31985464, 1.0461974, 0.0},
                                                       {-0.40981961, -0.50716957, 0.87844346},
                                                       {-0.40981961, -0.50716957, -0.87844346},
                                                       {2.75058274, -3.17390794, 1.31804649},
                                                       {2.36104874, -2.79755478, 0.0},
                                                       {3.10999544, -2.88297581, -0.56991849},
                                                       {1.86799631, -3.06621062, 1.95544626},
                                                       {3.55784145, -2.54355957, 1.70253356},
                                                       {3.10786075, -4.20705054, 1.36052947}};

TEST(Library, RefusesNonsenseArguments) {
  auto positions = kPositions;
  EXPECT_THROW(kavor::analyse(kLabels, std::span(positions).first(11), 6), std::invalid_argument);
  EXPECT_THROW(kavor::analyse(kLabels, positions, 12), std::invalid_argument);
  EXPECT_THROW(
      kavor::analyse(std::span(kLabels).first(1), std::span(positions).first(1), kavor::find_n1),
      std::invalid_argument);
  auto labels = kLabels;
  labels[3] = "Xx";
  EXPECT_THROW(kavor::analyse(labels, positions, 6), std::invalid_argument);
  positions[2][1] = std::nan("");
  EXPECT_THROW(kavor::analyse(kLabels, positions, 6), std::invalid_argument);
  EXPECT_THROW(kavor::Placer(kLabels, kPositions, 6).place(INFINITY, 0, 0, 0, 0, 0),
               std::invalid_argument);
}

TEST(Library, StopsAreStatuses) {
  // Molecule 1 of two atoms: stopped before the per-molecule analysis.
  const kavor::Analysis early = kavor::analyse(kLabels, kPositions, 2);
  EXPECT_EQ(kavor::status_name(early.status), "atom_counts");
  EXPECT_TRUE(std::isnan(early.r) && std::isnan(early.molecules[0].moments[0]));
  EXPECT_TRUE(early.name.empty());
  EXPECT_FALSE(early.message.empty());
  // Found by the bonded-fragment rule: the same pair as n1 = 6.
  const kavor::Analysis found = kavor::analyse(kLabels, kPositions, kavor::find_n1);
  const kavor::Analysis given = kavor::analyse(kLabels, kPositions, 6);
  EXPECT_EQ(found.status, kavor::Status::ok);
  EXPECT_EQ(found.name, given.name);
  EXPECT_EQ(found.molecules[1].centre, given.molecules[1].centre);
  // A placement the builder refuses.
  EXPECT_EQ(kavor::Placer(kLabels, kPositions, 6).place(-1, 0, 0, 0, 0, 0).status,
            kavor::Status::user_value);
}

}  // namespace
