#include "batch/frames.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "core/errors.hpp"
#include "core/reader.hpp"

namespace kavor::batch {

namespace fs = std::filesystem;

static bool blank_line(std::string_view line) {
  for (char c : line)
    if (!is_separator(c)) return false;
  return true;
}

// A line that reads as an atom record: a label and three numbers.
static bool atom_like(std::string_view line) {
  std::string_view v[4];
  if (split_values(line, v, 4) < 4) return false;
  double x;
  return parse_fortran_real(v[1], x) && parse_fortran_real(v[2], x) && parse_fortran_real(v[3], x);
}

FrameReader::FrameReader(const std::string& path, Layout layout) : layout_(layout) {
  if (path == "-") {
    source_ = "-";
    file_ = stdin;
  } else {
    fs::path p(path);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      p = p / "input-GEOMETRY.xyz";
      if (!fs::exists(p, ec) && fs::exists(p.parent_path() / "UD-input-GEOMETRY.xyz", ec))
        p = p.parent_path() / "UD-input-GEOMETRY.xyz";
      if (layout_ == Layout::automatic) layout_ = Layout::programs;
    }
    source_ = p.string();
    const std::string name = p.filename().string();
    if (layout_ == Layout::automatic && (name == "input-GEOMETRY.xyz" || name == "UD-input-GEOMETRY.xyz"))
      layout_ = Layout::programs;
    file_ = std::fopen(source_.c_str(), "rb");
    if (file_ == nullptr)
      throw InputError(source_ + ": cannot open input file: " + std::strerror(errno));
    owns_file_ = true;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  }
  if (layout_ == Layout::automatic) {
    // The programs' layout has no comment line: its second line is an atom.
    std::string first, second;
    const bool has_first = read_line(first);
    const bool has_second = has_first && read_line(second);
    layout_ = has_second && atom_like(second) ? Layout::programs : Layout::xyz;
    pending_ = first;
    if (has_second) pending_ += "\n" + second;
    line_number_ = 0;
    pending_lines_ = has_second ? 2 : (has_first ? 1 : 0);
  }
}

FrameReader::~FrameReader() {
  if (owns_file_) std::fclose(file_);
  std::free(raw_);
}

bool FrameReader::read_line(std::string& line) {
  if (pending_lines_ > 0) {
    const size_t cut = pending_.find('\n');
    line = pending_.substr(0, cut);
    pending_ = cut == std::string::npos ? std::string() : pending_.substr(cut + 1);
    --pending_lines_;
    ++line_number_;
    return true;
  }
  const ssize_t length = ::getline(&raw_, &raw_capacity_, file_);
  if (length < 0) {
    if (std::ferror(file_)) throw InputError(source_ + ": cannot read input file: " + std::strerror(errno));
    return false;
  }
  line.assign(raw_, static_cast<size_t>(length));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  ++line_number_;
  if (line_number_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void FrameReader::fail(const std::string& what) {
  done_ = true;
  throw InputError(source_ + ":" + std::to_string(line_number_) + ": " + what);
}

bool FrameReader::next(Frame& frame) {
  if (done_) return false;
  frame.has_n1 = false;
  frame.too_many = false;
  frame.comment.clear();
  if (layout_ == Layout::programs) return next_programs(frame);
  return next_xyz(frame);
}

bool FrameReader::next_programs(Frame& frame) {
  // One frame per file, read exactly as the programs read it.
  done_ = true;
  std::string contents;
  std::string line;
  bool first = true;
  while (read_line(line)) {
    if (!first) contents += '\n';
    contents += line;
    first = false;
  }
  if (first) throw InputError(source_ + ":1: file ends before the number of atoms N");
  FreeFormatReader reader(source_, std::move(contents));
  GeometryBlock& block = frame.block;
  block = GeometryBlock{};
  block.n = read_atom_count(reader);
  if (block.n > kCapacity) {
    frame.too_many = true;
    return true;
  }
  read_atoms_and_n1(reader, block);
  frame.has_n1 = true;
  return true;
}

bool FrameReader::next_xyz(Frame& frame) {
  std::string& line = buffer_;
  do {
    if (!read_line(line)) {
      done_ = true;
      return false;
    }
  } while (blank_line(line));
  std::string_view v[4];
  split_values(line, v, 1);
  int n = 0;
  if (!parse_int32(v[0], n) || n < 0)
    fail("expected the number of atoms of a frame (a whole number, zero or more), got " + shown(v[0]));
  if (!read_line(frame.comment)) fail("file ends before the comment line of the frame");
  GeometryBlock& block = frame.block;
  block.n = n;
  block.n1 = 0;
  frame.too_many = n > kCapacity;
  const bool convert = !frame.too_many;
  if (convert) {
    block.isymbol.resize(n);
    block.icoo_and_m.resize(n);
  }
  for (int i = 0; i < n; ++i) {
    if (!read_line(line))
      fail("file ends before the label and x, y, z of atom " + std::to_string(i + 1));
    if (!convert) continue;
    const int count = split_values(line, v, 4);
    if (count < 4)
      fail("expected the label and x, y, z of atom " + std::to_string(i + 1) + ", got " +
           std::to_string(count) + " value" + (count == 1 ? "" : "s"));
    block.isymbol[i] = make_label(v[0]);
    Atom& a = block.icoo_and_m[i];
    a = Atom{};
    static const char* const kNames[3] = {"x", "y", "z"};
    double* coordinate[3] = {&a.x, &a.y, &a.z};
    for (int c = 0; c < 3; ++c)
      if (!parse_fortran_real(v[c + 1], *coordinate[c]))
        fail("expected " + std::string(kNames[c]) + " of atom " + std::to_string(i + 1) +
             " (a finite number), got " + shown(v[c + 1]));
  }
  return true;
}

}  // namespace kavor::batch
