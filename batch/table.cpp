#include "batch/table.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>

#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/errors.hpp"

namespace kavor::batch {

void append_number(std::string& row, double value) {
  if (!std::isfinite(value)) return;
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  row.append(buffer, result.ptr);
}

void append_text(std::string& row, std::string_view text) {
  for (char c : text) row += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? ' ' : c;
}

namespace {

namespace fs = std::filesystem;

// The descriptor a path names: /dev/stdout, /dev/fd/1, /proc/self/fd/1 ...;
// -1 for any other path.
int named_descriptor(const fs::path& path) {
  const std::string p = path.lexically_normal().string();
  if (p == "/dev/stdin") return 0;
  if (p == "/dev/stdout") return 1;
  if (p == "/dev/stderr") return 2;
  const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), own}) {
    if (p.size() <= prefix.size() || p.compare(0, prefix.size(), prefix) != 0) continue;
    int fd = 0;
    const char* end = p.data() + p.size();
    const auto [ptr, ec] = std::from_chars(p.data() + prefix.size(), end, fd);
    return ec == std::errc() && ptr == end ? fd : -1;
  }
  return -1;
}

// A stream over a descriptor of its own.
class DescriptorStream : public std::ostream {
 public:
  explicit DescriptorStream(int fd) : std::ostream(nullptr), buffer_(fd, std::ios::out) { rdbuf(&buffer_); }

 private:
  __gnu_cxx::stdio_filebuf<char> buffer_;
};

}  // namespace

TableSink::TableSink(const std::string& path, std::ostream& stream) : stream_(&stream) {
  if (path.empty() || path == "-") return;
  // Links are followed one at a time, so that one naming a descriptor is
  // seen before the descriptor's own link leads to a file by name.
  fs::path target = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (const int fd = named_descriptor(target); fd >= 0) {
      const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
      if (copy < 0) throw OutputError("cannot write '" + path + "': " + std::strerror(errno));
      special_ = std::make_unique<DescriptorStream>(copy);
      stream_ = special_.get();
      return;
    }
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) break;
    const fs::path link = fs::read_symlink(target, ec);
    if (ec) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  std::error_code ec;
  const auto status = std::filesystem::status(target, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status)) {
    auto special = std::make_unique<std::ofstream>(target, std::ios::binary);
    if (!*special) throw OutputError("cannot write '" + path + "': " + std::strerror(errno));
    stream_ = special.get();
    special_ = std::move(special);
    return;
  }
  file_ = std::make_unique<OutputFile>();
  file_->open(target);
}

TableSink::~TableSink() = default;

void TableSink::write(const std::string& text) {
  if (text.empty()) return;
  if (file_) {
    // OutputFile adds the line end itself.
    std::string_view rest(text);
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      file_->line(rest.substr(0, end));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return;
  }
  stream_->write(text.data(), static_cast<std::streamsize>(text.size()));
}

void TableSink::close() {
  if (file_) {
    file_->commit();
    return;
  }
  stream_->flush();
  if (!*stream_) throw OutputError(special_ ? "cannot write the table" : "cannot write the table to standard output");
}

void TableSink::stage_into(OutputStage& stage) {
  if (file_) stage.add(*file_);
  else close();
}

Progress::Progress(const char* unit)
    : unit_(unit), enabled_(::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

void Progress::advance(std::size_t done) {
  done_ += done;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(250)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(stderr, "\r%zu %s, %.0f %s per second ", done_, unit_,
               seconds > 0 ? static_cast<double>(done_) / seconds : 0.0, unit_);
  std::fflush(stderr);
}

void Progress::finish() {
  if (!enabled_ || done_ == 0) return;
  last_ = std::chrono::steady_clock::time_point{};
  advance(0);
  std::fputc('\n', stderr);
}

}  // namespace kavor::batch
