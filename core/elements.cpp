#include "core/elements.hpp"

#include <array>

namespace kavor {

namespace {

struct Element {
  const char* symbol;
  float mass;  // the program's masses are single-precision literals
};

constexpr std::array<Element, kElementCount> kElements = {{
    {"H", 1.008f},       {"He", 4.002602f},   {"Li", 6.94f},      {"Be", 9.012183f},
    {"B", 10.81f},       {"C", 12.011f},      {"N", 14.007f},     {"O", 15.999f},
    {"F", 18.998404f},   {"Ne", 20.1797f},    {"Na", 22.989769f}, {"Mg", 24.305f},
    {"Al", 26.981539f},  {"Si", 28.085f},     {"P", 30.973763f},  {"S", 32.06f},
    {"Cl", 35.45f},      {"Ar", 39.948f},     {"K", 39.0983f},    {"Ca", 40.078f},
    {"Sc", 44.95591f},   {"Ti", 47.867f},     {"V", 50.9415f},    {"Cr", 51.9961f},
    {"Mn", 54.93804f},   {"Fe", 55.845f},     {"Co", 58.933193f}, {"Ni", 58.6934f},
    {"Cu", 63.546f},     {"Zn", 65.38f},      {"Ga", 69.723f},    {"Ge", 72.63f},
    {"As", 74.92159f},   {"Se", 78.971f},     {"Br", 79.904f},    {"Kr", 83.798f},
    {"Rb", 85.4678f},    {"Sr", 87.62f},      {"Y", 88.90584f},   {"Zr", 91.224f},
    {"Nb", 92.90637f},   {"Mo", 95.95f},      {"Tc", 97.0f},      {"Ru", 101.07f},
    {"Rh", 102.90549f},  {"Pd", 106.42f},     {"Ag", 107.8682f},  {"Cd", 112.414f},
    {"In", 114.818f},    {"Sn", 118.71f},     {"Sb", 121.76f},    {"Te", 127.6f},
    {"I", 126.90447f},   {"Xe", 131.293f},    {"Cs", 132.90546f}, {"Ba", 137.327f},
    {"La", 138.90547f},  {"Ce", 140.116f},    {"Pr", 140.90765f}, {"Nd", 144.242f},
    {"Pm", 145.0f},      {"Sm", 150.36f},     {"Eu", 151.964f},   {"Gd", 157.25f},
    {"Tb", 158.92535f},  {"Dy", 162.5f},      {"Ho", 164.93033f}, {"Er", 167.259f},
    {"Tm", 168.93422f},  {"Yb", 173.045f},    {"Lu", 174.9668f},  {"Hf", 178.49f},
    {"Ta", 180.94788f},  {"W", 183.84f},      {"Re", 186.207f},   {"Os", 190.23f},
    {"Ir", 192.217f},    {"Pt", 195.084f},    {"Au", 196.96657f}, {"Hg", 200.592f},
    {"Tl", 204.38f},     {"Pb", 207.2f},      {"Bi", 208.9804f},  {"Po", 209.0f},
    {"At", 210.0f},      {"Rn", 222.0f},      {"Fr", 223.0f},     {"Ra", 226.0f},
    {"Ac", 227.0f},      {"Th", 232.0377f},   {"Pa", 231.03587f}, {"U", 238.02892f},
}};

}  // namespace

Label make_label(std::string_view token) {
  Label label{' ', ' '};
  for (size_t i = 0; i < 2 && i < token.size(); ++i) label[i] = token[i];
  return label;
}

double element_mass(int z) { return static_cast<double>(kElements.at(z - 1).mass); }

std::string_view element_symbol(int z) { return kElements.at(z - 1).symbol; }

// Every symbol is an upper-case letter and a lower-case letter or nothing:
// the element of each such label, indexed by its first letter and its
// second character (blank, or a..z); 0 where no symbol matches.
constexpr int kSecondChars = 27;
constexpr std::array<unsigned char, 26 * kSecondChars> kBySymbol = [] {
  std::array<unsigned char, 26 * kSecondChars> table{};
  for (int z = 1; z <= kElementCount; ++z) {
    const char* symbol = kElements[z - 1].symbol;
    const int second = symbol[1] == '\0' ? 0 : symbol[1] - 'a' + 1;
    table[(symbol[0] - 'A') * kSecondChars + second] = static_cast<unsigned char>(z);
  }
  return table;
}();

int element_by_symbol(const Label& label) {
  if (label[0] < 'A' || label[0] > 'Z') return 0;
  int second;
  if (label[1] == ' ') second = 0;
  else if (label[1] >= 'a' && label[1] <= 'z') second = label[1] - 'a' + 1;
  else return 0;
  return kBySymbol[(label[0] - 'A') * kSecondChars + second];
}

int element_by_numeral(const Label& label) {
  // Same rule as comparing with "1 ".."9 " and "10".."92": no leading zero,
  // one digit followed by a blank or two digits.
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!digit(label[0]) || label[0] == '0') return 0;
  if (label[1] == ' ') return label[0] - '0';
  if (!digit(label[1])) return 0;
  int z = (label[0] - '0') * 10 + (label[1] - '0');
  return z <= kElementCount ? z : 0;
}

void identify_elements(int n, std::vector<Label>& isymbol, AtomTable& coo_and_m, Mode mode) {
  for (int i = 0; i < n; ++i) {
    if (int z = element_by_symbol(isymbol[i]); z != 0) {
      coo_and_m[i].mass = element_mass(z);
      coo_and_m[i].znum = z;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (int z = element_by_numeral(isymbol[i]); z != 0) {
      coo_and_m[i].mass = element_mass(z);
      coo_and_m[i].znum = z;
      if (mode == Mode::builder) isymbol[i] = make_label(element_symbol(z));
    }
  }
}

}  // namespace kavor
