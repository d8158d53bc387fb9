#include <string>

#include "common.hpp"

namespace kavor::python {

GeometryBlock to_block(const std::vector<std::string>& tokens, const Positions& positions) {
  if (positions.ndim() != 2 || positions.shape(1) != 3 ||
      static_cast<size_t>(positions.shape(0)) != tokens.size())
    throw py::value_error("positions must have the shape (" + std::to_string(tokens.size()) +
                          ", 3): one row x, y, z per label");
  GeometryBlock block;
  block.isymbol = labels_of(tokens);
  block.n = static_cast<int>(tokens.size());
  block.icoo_and_m = atoms_of(positions.data(), tokens.size(), "");
  return block;
}

}  // namespace kavor::python
