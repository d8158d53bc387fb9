// Reads pairs in kavor's input layout (N; N lines "label x y z"; one line;
// N1) and writes the table `kavor-batch analyze` writes for them, through
// the installed library: #include <kavor/kavor.hpp>, link kavor::core.
// Then places molecule 1 of the first pair at a few points, as ud-kavor would.
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>
#include <kavor/kavor.hpp>
#include <string>
#include <vector>

namespace {

struct Pair {
  std::vector<std::string> labels;
  std::vector<std::array<double, 3>> positions;
  std::size_t n1 = 0;
};

Pair read_pair(const std::string& path) {
  std::ifstream in(path);
  Pair pair;
  std::size_t n = 0;
  if (!(in >> n)) throw std::runtime_error(path + ": no atom count");
  pair.labels.resize(n);
  pair.positions.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto& p = pair.positions[i];
    if (!(in >> pair.labels[i] >> p[0] >> p[1] >> p[2]))
      throw std::runtime_error(path + ": atom " + std::to_string(i + 1) + " unreadable");
  }
  std::string line;
  std::getline(in, line);  // rest of the last atom line
  std::getline(in, line);  // the ignored line
  if (!(in >> pair.n1)) throw std::runtime_error(path + ": no N1");
  return pair;
}

// As kavor-batch writes numbers: the shortest text that reads back as the
// same double; nothing for NaN.
std::string number(double value) {
  if (std::isnan(value)) return "";
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: placement_table FILE...\n";
    return 2;
  }
  std::cout << "source\tframe\tstatus\tr\ttheta\tphi\talpha\tbeta\tgamma\tname\tmessage\n";
  for (int k = 1; k < argc; ++k) {
    const Pair pair = read_pair(argv[k]);
    const kavor::Analysis a = kavor::analyse(pair.labels, pair.positions, pair.n1);
    std::cout << argv[k] << "\t1\t" << kavor::status_name(a.status);
    for (double value : {a.r, a.theta, a.phi, a.alpha, a.beta, a.gamma})
      std::cout << '\t' << number(value);
    std::cout << '\t' << a.name << '\t' << a.message << '\n';
  }

  // The placement step: one analysis, many points.
  const Pair first = read_pair(argv[1]);
  const kavor::Placer placer(first.labels, first.positions, first.n1);
  std::cerr << "placements of " << argv[1] << " (" << kavor::status_name(placer.status()) << "):\n";
  for (double r : {3.0, 4.5, 6.0}) {
    const kavor::Placed p = placer.place(r, 90, 45, 10, 80, 200);
    std::cerr << "  " << kavor::status_name(p.status) << ' ' << p.name << " contacts " << p.contacts
              << " shortest " << number(p.min_distance) << '\n';
  }
  return 0;
}
