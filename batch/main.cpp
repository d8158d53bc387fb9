// kavor-batch: kavor's analysis and ud-kavor's placement over thousands of
// frames or millions of points in one process, one table out.
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "core/outfile.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  kavor::occupy_closed_standard_descriptors();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kavor::batch::batch_main(args, std::cout, std::cerr);
}
