// kavor._kavor: the compiled half of the Python package kavor.
#include "common.hpp"

PYBIND11_MODULE(_kavor, m) {
  m.doc() = "Bindings over kavor's analysis and ud-kavor's placement; use the package kavor.";
  m.attr("__version__") = KAVOR_VERSION;
  kavor::python::add_analysis(m);
  kavor::python::add_placement(m);
  kavor::python::add_pairs(m);
}
