// Text files that appear under their final names only when complete.
//
// Lines go to a file without a name in the target directory (O_TMPFILE) or,
// where the file system refuses such files, to a hidden temporary file beside
// the final one (".<name>.tmp-XXXXXX"). Publishing a file links the unnamed
// file under a temporary name (through /proc/self/fd) and renames that over
// the final name, so an earlier file of that name is replaced in one step and
// never by a partial one. A process killed at any moment, even by SIGKILL,
// leaves no unnamed file behind; named temporary files are removed by the
// destructor, and by CleanupOnSignals when a signal ends the process.
//
// Used alone, an OutputFile is published by commit(). A run instead hands its
// finished files to an OutputStage, which publishes them all at its end or
// discards them all when it fails.
//
// A whole directory tree is staged the same way by an OutputTree: it is
// written under a hidden sibling (".<name>.tmp-XXXXXX") and renamed into
// place by the stage.
#pragma once

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kavor {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // an unpublished file is removed

  // Throws OutputError when the file cannot be created.
  void open(const std::filesystem::path& final_path);
  bool is_open() const { return file_ != nullptr; }
  void line(std::string_view text);
  // Several lines at once, each ended by LF (the last one gets its LF here
  // when `text` lacks it).
  void lines(std::string_view text);
  // Checks that every byte was written and publishes the file at once.
  // Throws OutputError when the data cannot be written or renamed.
  void commit();
  const std::filesystem::path& path() const { return final_path_; }

 private:
  friend class OutputStage;
  // Flushes and closes the stream; throws OutputError (and removes the file)
  // when some data was not written. An unnamed file keeps a descriptor.
  void finish();
  // Gives a finished unnamed file its temporary name.
  void name_temporary();
  // Renames the temporary name over the final name.
  void rename_into_place();
  // Removes whatever exists of an unpublished file.
  void discard();

  std::FILE* file_ = nullptr;
  int unnamed_fd_ = -1;  // a finished unnamed file, until it gets a name
  int write_errno_ = 0;  // the first failed write's error
  int cleanup_slot_ = -1;
  std::filesystem::path final_path_;
  std::filesystem::path temp_path_;  // empty while the file has no name
};

// A directory that appears under its final name only when complete. Its
// contents are written under path(), a hidden sibling of the final name; an
// OutputStage renames it into place. Unpublished, it is removed with all it
// holds by the destructor and, when a signal ends the process, by
// CleanupOnSignals (down to DIR/<folder>/<file>, the depth written).
class OutputTree {
 public:
  OutputTree() = default;
  OutputTree(OutputTree&& other) noexcept;
  OutputTree& operator=(OutputTree&&) = delete;
  OutputTree(const OutputTree&) = delete;
  OutputTree& operator=(const OutputTree&) = delete;
  ~OutputTree();

  // Creates the hidden sibling of `final_path`. With `replace` an existing
  // directory of that name is replaced whole on publishing; without it only
  // an absent or empty one is. Throws OutputError.
  void open(const std::filesystem::path& final_path, bool replace);
  // Where the contents go until the tree is published.
  const std::filesystem::path& path() const { return temp_path_; }

 private:
  friend class OutputStage;
  void rename_into_place();
  void discard();

  bool replace_ = false;
  int cleanup_slot_ = -1;
  std::filesystem::path final_path_;
  std::filesystem::path temp_path_;
};

// The finished files of one run, published together.
class OutputStage {
 public:
  // Finishes `file` and keeps it; `file` is left closed. Throws OutputError
  // (and drops the file) when some of its data was not written.
  void add(OutputFile& file);
  // Keeps a complete tree; `tree` is left empty.
  void add(OutputTree& tree);
  // Names every kept file, renames every tree into place, then renames each
  // file over its final name in the order they were added. If a file cannot
  // be named or a tree renamed, no file is published; a file rename that
  // fails (rare: the names are in place by then) leaves what was renamed
  // before it published. Throws OutputError.
  void publish();
  // Removes every kept file and tree.
  void discard() {
    files_.clear();
    trees_.clear();
  }

 private:
  std::vector<OutputFile> files_;
  std::vector<OutputTree> trees_;
};

// While an instance lives, SIGHUP, SIGINT, SIGTERM, SIGPIPE and SIGXFSZ (those
// not ignored when it was made) first remove the named temporary files and
// trees of unpublished outputs, whichever thread made them, then end the
// process as the signal would have.
class CleanupOnSignals {
 public:
  CleanupOnSignals();
  ~CleanupOnSignals();
  CleanupOnSignals(const CleanupOnSignals&) = delete;
  CleanupOnSignals& operator=(const CleanupOnSignals&) = delete;

 private:
  static constexpr int kSignals = 5;
  struct sigaction previous_[kSignals];
  bool installed_[kSignals] = {};
};

// Opens /dev/null read-only on any of descriptors 0, 1, 2 that is closed, so
// that no output file takes the place of standard output (writes to it then
// fail and are reported instead of landing in a result file).
void occupy_closed_standard_descriptors();

// Unnamed files are used where the system allows them; tests turn them off
// to exercise the named temporary files.
void allow_unnamed_files(bool allowed);

}  // namespace kavor
