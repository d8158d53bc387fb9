// Output pieces of the batch program: the TSV table's numbers and fields,
// the destination (standard output or a file that appears only when
// complete), work spread over threads in input order, and the progress line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/outfile.hpp"
#include "core/parallel.hpp"

namespace kavor::batch {

// The shortest decimal text that reads back as the same double ("5.2",
// "3.2924001008744055"); an empty field for a value that is not a number.
void append_number(std::string& row, double value);
// A text field, so that the table stays valid UTF-8 that CSV readers split
// into the same rows and fields: tabs, line ends and other control bytes
// become blanks; a byte that is not part of a valid UTF-8 character is
// written \xNN (two lower-case hex digits); a field that starts with a
// double quote is written quoted ("..." with inner quotes doubled), as CSV
// readers expect.
void append_text(std::string& row, std::string_view text);
// Blank-separated words filled into lines of at most `width` columns, each
// starting with `indent` and ending with a line end (help texts).
std::string wrap_words(std::string_view words, std::string_view indent, std::size_t width);

// Where a table goes: `path` empty or "-" means the given stream. A regular
// file (or a new one) appears only when complete; a device or a pipe such as
// /dev/null is written directly, never replaced. A symbolic link is written
// through: its target is the file replaced, with the temporary beside it.
// A path naming an open descriptor (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N) writes to that descriptor, at its offset.
class TableSink {
 public:
  TableSink(const std::string& path, std::ostream& stream);
  ~TableSink();
  void write(const std::string& text);  // whole lines
  // Publishes the file / flushes the stream; throws OutputError on failure.
  void close();
  // As close(), but a file is kept in `stage` to be published with the
  // run's other outputs.
  void stage_into(OutputStage& stage);

 private:
  std::ostream* stream_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<std::ostream> special_;  // a device or pipe named by path
};

// Error lines of one chunk of work: an identical line, however many items
// it came from, is written once, with their count.
class ErrorLines {
 public:
  void add(const std::string& message);
  bool empty() const { return lines_.empty(); }
  // "kavor-batch: error: MESSAGE" and, for a repeated one, " (N items)".
  void write(std::ostream& err, const char* items) const;

 private:
  std::vector<std::pair<std::string, long>> lines_;  // in order of first appearance
  std::unordered_map<std::string, size_t> index_;    // line -> its place in lines_
};

// "frames done, frames per second" on standard error, at most a few times a
// second, only when standard error is a terminal.
class Progress {
 public:
  // `terminal` is standard error unless a test gives another stream.
  explicit Progress(const char* unit, std::FILE* terminal = nullptr);
  void advance(std::size_t done);
  // Wipes the progress line, so that an error line starts at the left
  // margin; the next advance() draws it again.
  void clear();
  void finish();

 private:
  const char* unit_;
  std::FILE* terminal_;
  bool enabled_;
  bool shown_ = false;
  std::size_t done_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace kavor::batch
