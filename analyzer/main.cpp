// kavor: relative placement (r, theta, phi, alpha, beta, gamma) of the two
// molecules of "input-GEOMETRY.xyz" in the working directory. No arguments.
#include <csignal>
#include <iostream>

#include "analyzer/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  // Past a file-size limit a write then fails with EFBIG, reported as an
  // output error (exit status 2), instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return kavor::run_analyzer(".", std::cout, std::cerr);
}
