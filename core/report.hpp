// The report: the long account of a run that the programs write as
// "LOG-PARAM-ONLY.txt" or "UD-LOG-PARAM.txt". Its lines go to one sink: a
// file, a string (a scan copies the analysis part into every point's
// report) or nowhere (a batch frame). The sink is chosen before the run and
// opened by the first analysis line; free-format lines are formatted only
// while it is open, so a run without a report pays nothing for its lines.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/format.hpp"
#include "core/outfile.hpp"

namespace kavor {

class Report {
 public:
  // Where open() sends the lines: a file at `path`, or the string `text`.
  void send_to_file(std::filesystem::path path) { path_ = std::move(path); }
  void send_to_text(std::string* text) { text_ = text; }
  // Opens the chosen sink once; with none chosen the report stays off.
  // Returns whether this call opened it (the caller then writes the header).
  bool open();
  bool on() const { return file_.is_open() || text_open_; }

  void line(std::string_view line) {
    if (file_.is_open())
      file_.line(line);
    else if (text_open_)
      text_->append(line).push_back('\n');
  }
  // A free-format line (see free_line), formatted only when the report is on.
  template <class... Items>
  void free(const Items&... items) {
    if (on()) line(free_line(items...));
  }
  // The open report file, for publishing with the run's other files.
  OutputFile* file() { return file_.is_open() ? &file_ : nullptr; }

 private:
  std::filesystem::path path_;
  OutputFile file_;
  std::string* text_ = nullptr;
  bool text_open_ = false;
};

inline bool Report::open() {
  if (on()) return false;
  if (text_ != nullptr)
    text_open_ = true;
  else if (!path_.empty())
    file_.open(path_);
  return on();
}

}  // namespace kavor
