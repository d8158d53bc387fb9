// Frames for the batch program: one pair geometry at a time from the
// programs' own input layout (input-GEOMETRY.xyz, UD-input-GEOMETRY.xyz) or
// from standard, possibly multi-frame, XYZ (count line, comment line, atom
// lines). Frames are read one by one, so a trajectory is never held whole.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "core/geometry_input.hpp"

namespace kavor::batch {

enum class Layout { automatic, programs, xyz };

struct Frame {
  GeometryBlock block;     // labels and coordinates; n1 only in the programs' layout
  bool has_n1 = false;     // the programs' layout carries N1
  bool too_many = false;   // more atoms than the capacity: atoms not read
  std::string comment;     // XYZ comment line (without line end)
};

class FrameReader {
 public:
  // `path` "-" reads standard input. A directory means the
  // input-GEOMETRY.xyz inside it. Throws InputError if it cannot be opened.
  FrameReader(const std::string& path, Layout layout);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The file actually read ("-" for standard input).
  const std::string& source() const { return source_; }
  Layout layout() const { return layout_; }

  // Reads the next frame; false at the end of the input. An unreadable
  // frame is an InputError naming the file and line; the reader is then at
  // its end.
  bool next(Frame& frame);

 private:
  bool read_line(std::string& line);
  bool next_programs(Frame& frame);
  bool next_xyz(Frame& frame);
  [[noreturn]] void fail(const std::string& what);

  std::string source_;
  Layout layout_;
  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  bool done_ = false;
  long line_number_ = 0;  // lines read so far
  std::string pending_;   // lines read ahead while detecting the layout
  int pending_lines_ = 0;
  std::string buffer_;
  char* raw_ = nullptr;  // getline's buffer
  size_t raw_capacity_ = 0;
};

}  // namespace kavor::batch
