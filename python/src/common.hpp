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

namespace kavor::python {

namespace py = pybind11;

// Positions as they cross the door: (N, 3) or (F, N, 3) doubles in Angstrom,
// C order; other real dtypes are converted.
using Positions = py::array_t<double, py::array::c_style | py::array::forcecast>;

void add_analysis(py::module_& m);
void add_placement(py::module_& m);
void add_pairs(py::module_& m);

// Element labels as the core reads them. Each token must be an element
// symbol with its exact case ("C", "Cl") or an atomic number "1".."92";
// anything else is a ValueError naming the atom (counted from 0).
std::vector<Label> to_labels(const std::vector<std::string>& tokens);

// Checks one (N, 3) block of coordinates against the labels (shape, finite
// values) and copies it into an atom table. `where` starts the messages.
AtomTable to_atoms(const double* xyz, size_t n, const std::string& where);

// One pair: labels and an (N, 3) array of positions, shape and values
// checked, as a geometry block (N1 not set).
GeometryBlock to_block(const std::vector<std::string>& tokens, const Positions& positions);

// n1 as the library takes it: a value in 1..N-1, or none for the
// bonded-fragment rule. Anything else is a ValueError.
std::optional<int> checked_n1(std::optional<long long> n1, size_t n);

}  // namespace kavor::python
