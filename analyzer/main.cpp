// kavor: relative placement (r, theta, phi, alpha, beta, gamma) of the two
// molecules of "input-GEOMETRY.xyz" in the working directory. No arguments.
#include <iostream>

#include "analyzer/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  return kavor::run_analyzer(".", std::cout, std::cerr);
}
