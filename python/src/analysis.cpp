// kavor's analysis: one pair, or many frames of the same atoms over threads.
#include "core/analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common.hpp"
#include "core/euler.hpp"
#include "core/fragments.hpp"
#include "core/parallel.hpp"

namespace kavor::python {

namespace {

py::object value_or_none(double value) {
  return std::isnan(value) ? py::object(py::none()) : py::object(py::float_(value));
}

py::object whole_or_none(bool defined, long value) {
  return defined ? py::object(py::int_(value)) : py::object(py::none());
}

py::array_t<double> array_of(const double* values, std::vector<py::ssize_t> shape) {
  py::array_t<double> array(shape);
  std::copy(values, values + array.size(), array.mutable_data());
  return array;
}

// (molecule 1, molecule 2) as PrincipalAxes, or None when the per-molecule
// analysis did not run.
py::object molecules_of(const PairResult& result, const Analysis& a) {
  if (!result.first.known) return py::none();
  return py::make_tuple(a.molecules[0], a.molecules[1]);
}

// (status, message, (r, theta, phi, alpha, beta, gamma), name, whole degrees
// of the summary (theta, phi, alpha, beta, gamma), molecules); None for an
// undefined angle.
py::tuple analyze(const std::vector<std::string>& tokens, const Positions& positions,
                  std::optional<long long> n1_given) {
  GeometryBlock block = to_block(tokens, positions);
  const std::optional<int> n1 = checked_n1(n1_given, tokens.size());
  PairResult result;
  {
    py::gil_scoped_release release;
    result = analyse_frame(block, n1);
  }
  const Analysis a = public_analysis(result);
  py::tuple values =
      py::make_tuple(value_or_none(a.r), value_or_none(a.theta), value_or_none(a.phi),
                     value_or_none(a.alpha), value_or_none(a.beta), value_or_none(a.gamma));
  py::object whole = py::none();
  py::object name = py::none();
  if (result.ok()) {
    name = py::str(a.name);
    whole = py::make_tuple(whole_or_none(result.theta_defined(), result.theta_deg),
                           whole_or_none(result.phi_defined(), result.phi_deg), result.alpha_deg,
                           result.beta_deg, result.gamma_deg);
  }
  return py::make_tuple(status_name(a.status), a.message, values, name, whole,
                        molecules_of(result, a));
}

// Every frame of an (F, N, 3) array: values (F, 6) as table_values gives them
// and the stop code of each frame (Status as a number, 0 = analysed).
py::tuple analyze_frames(const std::vector<std::string>& tokens, const Positions& frames,
                         std::optional<long long> n1_given, std::optional<int> jobs) {
  if (frames.ndim() != 3 || frames.shape(2) != 3 ||
      static_cast<size_t>(frames.shape(1)) != tokens.size())
    throw py::value_error("frames must have the shape (F, " + std::to_string(tokens.size()) +
                          ", 3): F frames of one row x, y, z per label");
  if (jobs && *jobs < 1) throw py::value_error("jobs must be 1 or more, got " + std::to_string(*jobs));
  const std::vector<Label> labels = labels_of(tokens);
  const size_t n = tokens.size();
  const std::optional<int> n1 = checked_n1(n1_given, n);
  const size_t count = static_cast<size_t>(frames.shape(0));
  const double* data = frames.data();
  // Every value checked before any work starts; the first frame with a
  // value that is not finite is refused with atoms_of's message.
  for (size_t f = 0; f < count; ++f) {
    const double* p = data + f * n * 3;
    bool finite = true;
    for (size_t k = 0; k < n * 3; ++k) finite &= std::isfinite(p[k]);
    if (!finite) atoms_of(p, n, "frame " + std::to_string(f) + ": ");
  }

  py::array_t<double> values({count, size_t{6}});
  py::array_t<std::uint8_t> codes(count);
  double* out = values.mutable_data();
  std::uint8_t* code = codes.mutable_data();
  // A Ctrl-C (or any signal with a Python handler) is taken between frames:
  // the calling thread looks for it with the GIL held, and its exception
  // stops the workers.
  const auto check_signals = [] {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  };
  {
    py::gil_scoped_release release;
    parallel_for(
        jobs ? *jobs : default_jobs(), count,
        [&](size_t f) {
          GeometryBlock block;
          block.n = static_cast<int>(n);
          block.isymbol = labels;
          block.icoo_and_m.resize(n);
          const double* p = data + f * n * 3;
          for (Atom& atom : block.icoo_and_m) {
            atom.x = *p++;
            atom.y = *p++;
            atom.z = *p++;
          }
          const PairResult a = analyse_frame(block, n1, false);  // values and codes only
          table_values(a, out + 6 * f);
          code[f] = static_cast<std::uint8_t>(a.status);
        },
        check_signals);
  }
  return py::make_tuple(values, codes);
}

// The bonded-fragment rule on one pair: (n1, "") or (0, why not).
py::tuple leading_fragment_of(const std::vector<std::string>& tokens, const Positions& positions) {
  const GeometryBlock block = to_block(tokens, positions);
  const LeadingFragment fragment = leading_fragment(block);
  return py::make_tuple(fragment.n1, fragment.message);
}

}  // namespace

void add_analysis(py::module_& m) {
  // The status table, indexed by Status ([0] is ok): (code, Python class,
  // its base class or "", README text).
  py::list table;
  for (const StatusInfo& info : status_codes())
    table.append(py::make_tuple(info.name, info.python_class, info.python_base, info.text));
  m.attr("status_table") = table;
  // Each property a new array: (3,) centre (Angstrom), (3,) moments (amu
  // Angstrom^2, ascending), (3, 3) axes, one unit axis a row.
  py::class_<PrincipalAxes>(m, "PrincipalAxes")
      .def_property_readonly("centre",
                             [](const PrincipalAxes& p) { return array_of(p.centre.data(), {3}); })
      .def_property_readonly("moments",
                             [](const PrincipalAxes& p) { return array_of(p.moments.data(), {3}); })
      .def_property_readonly("axes", [](const PrincipalAxes& p) {
        return array_of(p.axes[0].data(), {3, 3});
      });
  m.def("analyze", &analyze, py::arg("labels"), py::arg("positions"), py::arg("n1"));
  m.def("analyze_frames", &analyze_frames, py::arg("labels"), py::arg("frames"), py::arg("n1"),
        py::arg("jobs"));
  m.def("leading_fragment", &leading_fragment_of, py::arg("labels"), py::arg("positions"));
}

}  // namespace kavor::python
