// Result-file names built from the six placement parameters.
//
// The 29-character stem reads "[rrrr.r-TTT-PPP]-(AAA-BBB-GGG": r in Angstrom
// with four integer digits and one decimal, then whole degrees with leading
// zeros, "NAD" where an angle has no meaning (r too short for a direction,
// or theta on the polar axis for phi).
#pragma once

#include <string>

#include "core/atoms.hpp"

namespace kavor {

struct ResultNames {
  std::string stem;           // 29 characters
  std::string name;           // stem + ")": the name tables and the package show
  std::string geometry;       // ")-KAVOR.xyz" or ")-UD-KAVOR.xyz"
  std::string bild;           // ")-KAVOR-UCSF-Chimera.bild" or ")-UD-KAVOR-UCSF-Chimera.bild"
  std::string short_geometry; // builder only: ")-SHORT-CONTACTS-IDENTIFED.xyz"
  std::string short_bild;     // builder only: ")-SHORT-CONTACTS-IDENTIFIED.bild"
};

// r in Angstrom, angles in radians. Stops the run (three lines on the
// console, ProgramStop) when r is above 9999.9 Angstrom.
struct Session;
ResultNames build_result_names(Session& session, double r, double theta, double phi,
                               double alpha, double beta, double gamma);
// The same names for r at most kNameDistanceLimit, without a session.
ResultNames result_names(Mode mode, double r, double theta, double phi, double alpha, double beta,
                         double gamma);

inline constexpr double kNameDistanceLimit = 9999.900390625;        // 9999.9 as float
inline constexpr double kNoDirectionDistance = 0.09999900311231613;  // 0.099999 as float

}  // namespace kavor
