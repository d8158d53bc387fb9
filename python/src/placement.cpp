// ud-kavor's placement: a pair analysed once in the builder's mode, then
// molecule 1 placed at any number of user values.
#include <cmath>
#include <memory>

#include "builder/scan.hpp"
#include "common.hpp"

namespace kavor::python {

namespace {

std::unique_ptr<PlacementBase> make_base(const std::vector<std::string>& tokens,
                                         const Positions& positions, long long n1) {
  GeometryBlock block = to_block(tokens, positions);
  block.n1 = *checked_n1(n1, tokens.size());
  py::gil_scoped_release release;
  auto base = std::make_unique<PlacementBase>(block, block.n > kCapacity);
  base->prepare_contacts(2.0);  // a Builder places many points on one pair
  return base;
}

// (status, message, positions (N, 3), atomic numbers (N), short contacts
// [(i, k, distance)], shortest intermolecular distance, name); only status
// and message when the point stopped.
py::tuple place(const PlacementBase& base, double r, double theta, double phi, double alpha,
                double beta, double gamma) {
  const UserValues values{r, theta, phi, alpha, beta, gamma};
  const char* names[6] = {"r", "theta", "phi", "alpha", "beta", "gamma"};
  const double given[6] = {r, theta, phi, alpha, beta, gamma};
  for (int k = 0; k < 6; ++k)
    if (!std::isfinite(given[k]))
      throw py::value_error(std::string(names[k]) + " must be a finite number");
  PlacedPoint point;
  PlaceOptions options;
  options.list_contacts = true;
  {
    py::gil_scoped_release release;
    place_point(base, values, point, options);
  }
  if (point.status != Status::ok) return py::make_tuple(status_name(point.status), point.message);

  const size_t n = static_cast<size_t>(base.n());
  py::array_t<double> xyz({n, size_t{3}});
  py::array_t<int> numbers(n);
  double* p = xyz.mutable_data();
  int* z = numbers.mutable_data();
  for (size_t i = 0; i < n; ++i) {
    const Atom& atom = point.atoms[i];
    *p++ = atom.x;
    *p++ = atom.y;
    *p++ = atom.z;
    z[i] = static_cast<int>(atom.znum);
  }
  py::list contacts;
  for (const ContactPair& c : point.contact_pairs) contacts.append(py::make_tuple(c.i, c.k, c.d));
  return py::make_tuple(status_name(point.status), point.message, xyz, numbers, contacts,
                        point.min_distance, point.names.name);
}

}  // namespace

void add_placement(py::module_& m) {
  py::class_<PlacementBase>(m, "PlacementBase")
      .def(py::init(&make_base), py::arg("labels"), py::arg("positions"), py::arg("n1"))
      .def("place", &place, py::arg("r"), py::arg("theta"), py::arg("phi"), py::arg("alpha"),
           py::arg("beta"), py::arg("gamma"));
}

}  // namespace kavor::python
