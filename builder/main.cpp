// ud-kavor: places molecule 1 of "UD-input-GEOMETRY.xyz" at the user's
// parameters (r, theta, phi, alpha, beta, gamma) and writes the new pair.
// No arguments; works in the current directory.
#include <csignal>
#include <iostream>

#include "builder/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  // Past a file-size limit a write then fails with EFBIG, reported as an
  // output error (exit status 2), instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return kavor::run_builder(".", std::cout, std::cerr);
}
