// Pairs of neighbouring molecules in one frame, each analysed: the core's
// molecule and pair finding, with the arguments converted.
#include <exception>

#include "common.hpp"
#include "core/errors.hpp"
#include "core/parallel.hpp"
#include "core/periodic.hpp"

namespace kavor::python {

namespace {

Vec3 row(const double* p) { return {p[0], p[1], p[2]}; }

// (ints (P, 5): mol1 mol2 na nb nc, molecules from 1; doubles (P, 8):
// com_distance contact r theta phi alpha beta gamma; stop codes (P); names).
py::tuple pairs(const std::vector<std::string>& tokens, const Positions& positions,
                std::optional<Positions> cell_rows, std::optional<std::vector<bool>> pbc, double distance,
                bool by_com, bool ordered, std::optional<std::vector<long>> groups, std::optional<int> jobs) {
  GeometryBlock block = to_block(tokens, positions);
  Structure s;
  s.labels = std::move(block.isymbol);
  s.atoms = std::move(block.icoo_and_m);
  if (cell_rows) {
    if (cell_rows->ndim() != 2 || cell_rows->shape(0) != 3 || cell_rows->shape(1) != 3)
      throw py::value_error("cell must have the shape (3, 3): the rows a, b, c in Angstrom");
    const double* c = cell_rows->data();
    Cell cell{row(c), row(c + 3), row(c + 6)};
    if (pbc) {
      if (pbc->size() != 3) throw py::value_error("pbc must hold three booleans");
      for (int k = 0; k < 3; ++k) cell.pbc[k] = (*pbc)[k];
    }
    if (const std::string problem = cell_problem(cell); !problem.empty()) throw py::value_error(problem);
    s.cell = cell;
  } else if (pbc) {
    for (bool periodic : *pbc)
      if (periodic) throw py::value_error("pbc is periodic but no cell is given");
  }
  if (!(distance > 0.0) || distance > 1e4)
    throw py::value_error("the distance must be above 0 and at most 10000 Angstrom");
  if (groups && groups->size() != tokens.size())
    throw py::value_error("groups must hold one molecule id per atom");
  if (jobs && *jobs < 1) throw py::value_error("jobs must be 1 or more, got " + std::to_string(*jobs));

  std::vector<Molecule> molecules;
  std::vector<MoleculePair> found;
  std::vector<PairResult> results;
  {
    py::gil_scoped_release release;
    try {
      molecules = find_molecules(s, groups ? &*groups : nullptr);
      found = find_pairs(s, molecules, PairCriterion{by_com, distance, ordered});
      results = analyse_molecule_pairs(s, molecules, found, jobs ? *jobs : default_jobs());
    } catch (const InputError& e) {
      py::gil_scoped_acquire acquire;
      throw py::value_error(e.what());
    }
  }
  const size_t count = found.size();
  py::array_t<int> ints({count, size_t{5}});
  py::array_t<double> values({count, size_t{8}});
  py::array_t<std::uint8_t> codes(count);
  py::list names;
  int* i = ints.mutable_data();
  double* v = values.mutable_data();
  std::uint8_t* code = codes.mutable_data();
  for (size_t k = 0; k < count; ++k) {
    const MoleculePair& p = found[k];
    const int row_ints[5] = {p.mol1 + 1, p.mol2 + 1, p.shift[0], p.shift[1], p.shift[2]};
    std::copy(row_ints, row_ints + 5, i + 5 * k);
    v[8 * k] = p.com_distance;
    v[8 * k + 1] = p.contact;
    table_values(results[k], v + 8 * k + 2);
    code[k] = static_cast<std::uint8_t>(results[k].status);
    names.append(results[k].ok() ? results[k].name : std::string());
  }
  return py::make_tuple(ints, values, codes, names);
}

}  // namespace

void add_pairs(py::module_& m) {
  m.def("pairs", &pairs, py::arg("labels"), py::arg("positions"), py::arg("cell"), py::arg("pbc"),
        py::arg("distance"), py::arg("by_com"), py::arg("ordered"), py::arg("groups"), py::arg("jobs"));
}

}  // namespace kavor::python
