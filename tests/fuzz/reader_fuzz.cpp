// Feeds arbitrary bytes to the free-format reader as a geometry block: the
// reader must either return the block or throw InputError, never crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/atoms.hpp"
#include "core/errors.hpp"
#include "core/geometry_input.hpp"
#include "core/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kavor::FreeFormatReader reader("input-GEOMETRY.xyz",
                                 std::string(reinterpret_cast<const char*>(data), size));
  try {
    kavor::GeometryBlock block;
    block.n = kavor::read_atom_count(reader);
    if (block.n > kavor::kCapacity) return 0;  // the programs stop here too
    kavor::read_atoms_and_n1(reader, block);
    // What the builder reads after the block.
    reader.skip_line("the line before r");
    for (int i = 0; i < 3; ++i) reader.read_real("a position value");
    reader.skip_line("the line before alpha");
    for (int i = 0; i < 3; ++i) reader.read_real("an Euler angle");
    reader.skip_line("the final line");
  } catch (const kavor::InputError&) {
  }
  return 0;
}
