// Shared pieces of the bindings: one add_<area> per area of the library, and
// the conversion of Python arguments into the library's geometry block.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "core/geometry_input.hpp"
#include "core/pair_input.hpp"  // labels_of, atoms_of, checked_n1: std::invalid_argument is ValueError

namespace kavor::python {

namespace py = pybind11;

// Positions as they cross the door: (N, 3) or (F, N, 3) doubles in Angstrom,
// C order; other real dtypes are converted.
using Positions = py::array_t<double, py::array::c_style | py::array::forcecast>;

void add_analysis(py::module_& m);
void add_placement(py::module_& m);
void add_pairs(py::module_& m);

// One pair: labels and an (N, 3) array of positions, shape and values
// checked, as a geometry block (N1 not set).
GeometryBlock to_block(const std::vector<std::string>& tokens, const Positions& positions);

}  // namespace kavor::python
