// Frames for the batch program: one pair geometry at a time from the
// programs' own input layout (input-GEOMETRY.xyz, UD-input-GEOMETRY.xyz) or
// from standard, possibly multi-frame, XYZ (count line, comment line, atom
// lines). Frames are read one by one, so a trajectory is never held whole.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry_input.hpp"

namespace kavor::batch {

enum class Layout { automatic, programs, xyz };

// No line of a valid input comes near this (an atom line is under a hundred
// bytes, an extended-XYZ comment line a few hundred); a longer line is an
// input error, so a file without line ends is refused in flat memory.
inline constexpr std::size_t kMaxLineBytes = 65536;

// Lines of a file, each without its LF or CR LF, read in blocks of a fixed
// buffer. A line longer than kMaxLineBytes or a failed read is an InputError
// naming the file and line, never an end of input.
class LineReader {
 public:
  LineReader(int fd, std::string name);
  // False at the end of the input.
  bool next(std::string& line);
  long line_number() const { return line_number_; }  // lines returned so far
  // Byte offset of the next unread line; seek() goes back to such an offset
  // in a regular file, with the number of the lines before it.
  off_t offset() const { return buffer_offset_ + static_cast<off_t>(begin_); }
  void seek(off_t offset, long line_number);

 private:
  bool fill();

  int fd_;
  std::string name_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  off_t buffer_offset_ = 0;  // file offset of buffer_[0]
  bool end_of_input_ = false;
  long line_number_ = 0;
};

struct Frame {
  GeometryBlock block;     // labels and coordinates; n1 only in the programs' layout
  bool has_n1 = false;     // the programs' layout carries N1
  bool too_many = false;   // more atoms than the capacity: atoms not read
  std::string comment;     // XYZ comment line (without line end)
};

// Where a frame starts, to read a file again from there.
struct FramePosition {
  off_t offset = 0;
  long line = 0;  // lines before it
};

class FrameReader {
 public:
  // `path` "-" reads standard input. A directory means the
  // input-GEOMETRY.xyz inside it. Throws InputError if it cannot be opened.
  // With `expect_xyz` (--n1 given) an automatic layout is standard XYZ
  // unless the file is named as one of the programs' inputs.
  FrameReader(const std::string& path, Layout layout, bool expect_xyz = false);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The file actually read ("-" for standard input).
  const std::string& source() const { return source_; }
  Layout layout() const { return layout_; }
  // Which layout an ambiguous file was read in, for standard error; empty
  // when the file could be read only one way.
  const std::string& note() const { return note_; }

  // Reads the next frame; false at the end of the input. An unreadable
  // frame is an InputError naming the file and line; the reader is then at
  // its end.
  bool next(Frame& frame);
  // Passes over the next frame without keeping its atoms. With `check` it
  // fails exactly where next() would; without, it only counts lines (for
  // frames already checked).
  bool skip(bool check);

  FramePosition position() const;
  void seek(const FramePosition& position);  // regular files only

 private:
  enum class Read { keep, check, count };
  bool read_line(std::string& line);
  bool peek(std::size_t k);  // is look-ahead line k there?
  Layout detect();
  bool next_programs(Frame& frame);
  bool next_xyz(Frame& frame, Read mode);
  [[noreturn]] void fail(const std::string& what);

  std::string source_;
  Layout layout_;
  std::string note_;
  int fd_ = -1;
  bool owns_fd_ = false;
  bool done_ = false;
  long line_number_ = 0;  // lines read so far
  std::unique_ptr<LineReader> lines_;
  // Lines read ahead while detecting the layout, each with its offset.
  std::vector<std::string> ahead_;
  std::vector<off_t> ahead_offsets_;
  std::size_t ahead_next_ = 0;
  std::string deferred_error_;  // a read error met while detecting
  std::string buffer_;
};

}  // namespace kavor::batch
