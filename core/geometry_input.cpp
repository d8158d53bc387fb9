#include "core/geometry_input.hpp"

#include <string>

#include "core/errors.hpp"

namespace kavor {

int read_atom_count(FreeFormatReader& reader) {
  Token token;
  reader.read(std::span<Token>(&token, 1), "the number of atoms N");
  const int n = reader.to_int(token, "the number of atoms N");
  if (n < 0)
    throw InputError(reader.name() + ":" + std::to_string(token.line) +
                     ": expected the number of atoms N (zero or more), got " + std::to_string(n));
  return n;
}

void read_atoms_and_n1(FreeFormatReader& reader, GeometryBlock& block) {
  block.isymbol.assign(block.n, Label{' ', ' '});
  block.icoo_and_m.assign(block.n, Atom{});
  Token tokens[4];
  // Messages are only built when a value is wrong: this loop may run 150000 times.
  auto real = [&](const Token& token, const char* coordinate, int atom) {
    double value = 0.0;
    if (parse_fortran_real(token.text, value)) return value;
    return reader.to_real(token, std::string(coordinate) + " of atom " + std::to_string(atom));
  };
  for (int i = 0; i < block.n; ++i) {
    reader.read(tokens, "the label and x, y, z of atom " + std::to_string(i + 1));
    block.isymbol[i] = make_label(tokens[0].text);
    Atom& a = block.icoo_and_m[i];
    a.x = real(tokens[1], "x", i + 1);
    a.y = real(tokens[2], "y", i + 1);
    a.z = real(tokens[3], "z", i + 1);
  }
  reader.skip_line("the line before N1");
  block.n1 = reader.read_int("the number of atoms of molecule 1 (N1)");
}

}  // namespace kavor
