// A whole analyzer run on arbitrary bytes as "input-GEOMETRY.xyz".
#include "analyzer/driver.hpp"
#include "program_run.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavor::fuzz::run_on_bytes("analyzer", "input-GEOMETRY.xyz", kavor::run_analyzer, data, size);
}
