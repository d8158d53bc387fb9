// ud-kavor: places molecule 1 of "UD-input-GEOMETRY.xyz" at the user's
// parameters (r, theta, phi, alpha, beta, gamma) and writes the new pair.
// No arguments; works in the current directory.
#include <iostream>

#include "builder/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  return kavor::run_builder(".", std::cout, std::cerr);
}
