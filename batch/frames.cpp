#include "batch/frames.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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
  return is_fortran_real(v[1]) && is_fortran_real(v[2]) && is_fortran_real(v[3]);
}

// A line holding one whole number and nothing else: an XYZ count line.
static bool count_line(std::string_view line, int& n) {
  std::string_view v[2];
  return split_values(line, v, 2) == 1 && parse_int32(v[0], n) && n >= 0;
}

LineReader::LineReader(int fd, std::string name) : fd_(fd), name_(std::move(name)), buffer_(1 << 16) {}

bool LineReader::fill() {
  if (end_of_input_) return false;
  buffer_offset_ += static_cast<off_t>(end_);
  begin_ = end_ = 0;
  ssize_t got;
  do got = ::read(fd_, buffer_.data(), buffer_.size());
  while (got < 0 && errno == EINTR);
  if (got < 0)
    throw InputError(name_ + ":" + std::to_string(line_number_ + 1) + ": cannot read input file: " +
                     std::strerror(errno));
  if (got == 0) {
    end_of_input_ = true;
    return false;
  }
  end_ = static_cast<size_t>(got);
  return true;
}

bool LineReader::next(std::string& line) {
  line.clear();
  bool any = false;
  while (true) {
    if (begin_ == end_ && !fill()) {
      if (!any) return false;
      break;  // a last line without its line end
    }
    any = true;
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    const size_t take = newline != nullptr ? static_cast<size_t>(newline - start) : end_ - begin_;
    if (line.size() + take > kMaxLineBytes + 1)  // + 1: a CR before the LF
      throw InputError(name_ + ":" + std::to_string(line_number_ + 1) + ": line longer than " +
                       std::to_string(kMaxLineBytes) + " bytes (not a geometry file?)");
    line.append(start, take);
    begin_ += take;
    if (newline != nullptr) {
      ++begin_;
      break;
    }
  }
  ++line_number_;
  if (line_number_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void LineReader::seek(off_t offset, long line_number) {
  if (::lseek(fd_, offset, SEEK_SET) < 0)
    throw InputError(name_ + ": cannot read input file: " + std::strerror(errno));
  buffer_offset_ = offset;
  begin_ = end_ = 0;
  end_of_input_ = false;
  line_number_ = line_number;
}

FrameReader::FrameReader(const std::string& path, Layout layout, bool expect_xyz) : layout_(layout) {
  if (path == "-") {
    source_ = "-";
    fd_ = STDIN_FILENO;
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
    fd_ = ::open(source_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw InputError(source_ + ": cannot open input file: " + std::strerror(errno));
    owns_fd_ = true;
  }
  lines_ = std::make_unique<LineReader>(fd_, source_);
  if (layout_ == Layout::automatic && expect_xyz) layout_ = Layout::xyz;
  if (layout_ == Layout::automatic) {
    try {
      layout_ = detect();
    } catch (const InputError& e) {
      // Reported by the first next(), as that frame's error.
      deferred_error_ = e.what();
      layout_ = Layout::xyz;
    }
    line_number_ = 0;
  }
}

FrameReader::~FrameReader() {
  if (owns_fd_) ::close(fd_);
}

bool FrameReader::peek(size_t k) {
  std::string line;
  while (ahead_.size() <= k) {
    const off_t offset = lines_->offset();
    if (!lines_->next(line)) return false;
    ahead_.push_back(line);
    ahead_offsets_.push_back(offset);
  }
  return true;
}

Layout FrameReader::detect() {
  // The programs' layout: N, N atom lines, a line that is not read, N1.
  // Standard XYZ: N, a comment line, N atom lines, then the next N or the end.
  // Where an XYZ comment line reads as an atom, the lines after it decide.
  if (!peek(0) || !peek(1)) return Layout::xyz;
  const Layout old_rule = atom_like(ahead_[1]) ? Layout::programs : Layout::xyz;
  int n = 0;
  if (!count_line(ahead_[0], n) || n > kCapacity) return old_rule;
  for (size_t k = 2; k < static_cast<size_t>(n) + 2; ++k)
    if (!peek(k) || !atom_like(ahead_[k])) return old_rule;
  const size_t after = static_cast<size_t>(n) + 2;
  int next_n = 0;
  if (!peek(after) || blank_line(ahead_[after])) return Layout::xyz;
  if (!count_line(ahead_[after], next_n)) return old_rule;
  if (old_rule == Layout::xyz) return Layout::xyz;
  // Both fit so far: a second frame decides for XYZ; N1 at the end of the
  // file reads as the programs' layout.
  if (peek(after + 1) && (next_n == 0 || (peek(after + 2) && atom_like(ahead_[after + 2]))))
    return Layout::xyz;
  note_ = source_ + ": read in kavor's layout (N, atoms, a line, N1); --format xyz reads it as standard XYZ";
  return Layout::programs;
}

bool FrameReader::read_line(std::string& line) {
  if (ahead_next_ < ahead_.size()) {
    line = std::move(ahead_[ahead_next_++]);
    if (ahead_next_ == ahead_.size()) {
      ahead_.clear();
      ahead_offsets_.clear();
      ahead_next_ = 0;
    }
    ++line_number_;
    return true;
  }
  try {
    if (!lines_->next(line)) return false;
  } catch (const InputError&) {
    done_ = true;
    throw;
  }
  ++line_number_;
  return true;
}

FramePosition FrameReader::position() const {
  if (ahead_next_ < ahead_.size()) return {ahead_offsets_[ahead_next_], line_number_};
  return {lines_->offset(), line_number_};
}

void FrameReader::seek(const FramePosition& position) {
  ahead_.clear();
  ahead_offsets_.clear();
  ahead_next_ = 0;
  lines_->seek(position.offset, position.line);
  line_number_ = position.line;
  done_ = false;
}

void FrameReader::fail(const std::string& what) {
  done_ = true;
  throw InputError(source_ + ":" + std::to_string(line_number_) + ": " + what);
}

bool FrameReader::next(Frame& frame) {
  if (done_) return false;
  if (!deferred_error_.empty()) {
    done_ = true;
    throw InputError(deferred_error_);
  }
  frame.has_n1 = false;
  frame.too_many = false;
  frame.comment.clear();
  if (layout_ == Layout::programs) return next_programs(frame);
  return next_xyz(frame, Read::keep);
}

bool FrameReader::skip(bool check) {
  if (done_) return false;
  if (layout_ == Layout::programs || !deferred_error_.empty()) {
    Frame frame;
    return next(frame);
  }
  thread_local Frame unused;
  return next_xyz(unused, check ? Read::check : Read::count);
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

bool FrameReader::next_xyz(Frame& frame, Read mode) {
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
  std::string& comment = mode == Read::keep ? frame.comment : line;
  if (!read_line(comment)) fail("file ends before the comment line of the frame");
  GeometryBlock& block = frame.block;
  const bool too_many = n > kCapacity;
  const bool keep = mode == Read::keep && !too_many;
  if (mode == Read::keep) {
    block.n = n;
    block.n1 = 0;
    frame.too_many = too_many;
  }
  if (keep) {
    block.isymbol.resize(n);
    block.icoo_and_m.resize(n);
  }
  for (int i = 0; i < n; ++i) {
    if (!read_line(line))
      fail("file ends before the label and x, y, z of atom " + std::to_string(i + 1));
    if (too_many || mode == Read::count) continue;
    const int count = split_values(line, v, 4);
    if (count < 4)
      fail("expected the label and x, y, z of atom " + std::to_string(i + 1) + ", got " +
           std::to_string(count) + " value" + (count == 1 ? "" : "s"));
    static const char* const kNames[3] = {"x", "y", "z"};
    if (!keep) {
      for (int c = 0; c < 3; ++c)
        if (!is_fortran_real(v[c + 1]))
          fail("expected " + std::string(kNames[c]) + " of atom " + std::to_string(i + 1) +
               " (a finite number), got " + shown(v[c + 1]));
      continue;
    }
    block.isymbol[i] = make_label(v[0]);
    Atom& a = block.icoo_and_m[i];
    a = Atom{};
    double* coordinate[3] = {&a.x, &a.y, &a.z};
    for (int c = 0; c < 3; ++c)
      if (!parse_fortran_real(v[c + 1], *coordinate[c]))
        fail("expected " + std::string(kNames[c]) + " of atom " + std::to_string(i + 1) +
             " (a finite number), got " + shown(v[c + 1]));
  }
  return true;
}

}  // namespace kavor::batch
