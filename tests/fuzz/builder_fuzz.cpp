// A whole builder run on arbitrary bytes as "UD-input-GEOMETRY.xyz".
#include "builder/driver.hpp"
#include "program_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavor::fuzz::run_on_bytes("builder", "UD-input-GEOMETRY.xyz", kavor::run_builder, data, size);
}
