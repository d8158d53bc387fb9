// kavor-batch: kavor's analysis and ud-kavor's placement over thousands of
// frames or millions of points in one process, one table out.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "core/outfile.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // Past a file-size limit a write then fails with EFBIG, reported as an
  // output error (exit status 2), instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  kavor::occupy_closed_standard_descriptors();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kavor::batch::batch_main(args, std::cout, std::cerr);
}
