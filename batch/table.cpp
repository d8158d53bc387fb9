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

// Length of the valid UTF-8 character at the start of `text`, 0 if none
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
static size_t utf8_length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b = byte(0);
  if (b < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) length = 2;
  else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  return length;
}

void append_text(std::string& row, std::string_view text) {
  const bool quoted = !text.empty() && text[0] == '"';
  if (quoted) row += '"';
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text[0]);
    const size_t length = utf8_length(text);
    if (length == 0) {
      static const char kHex[] = "0123456789abcdef";
      row += "\\x";
      row += kHex[c >> 4];
      row += kHex[c & 0xf];
      text.remove_prefix(1);
      continue;
    }
    if (c < 0x20 || c == 0x7f) row += ' ';
    else if (c == '"' && quoted) row += "\"\"";
    else row.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  if (quoted) row += '"';
}

std::string wrap_words(std::string_view words, std::string_view indent, std::size_t width) {
  std::string text, line(indent);
  std::size_t start = 0;
  while (start < words.size()) {
    std::size_t end = words.find(' ', start);
    if (end == std::string_view::npos) end = words.size();
    const std::string_view word = words.substr(start, end - start);
    if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
      text += line + '\n';
      line = indent;
    }
    if (line.size() > indent.size()) line += ' ';
    line += word;
    start = end + 1;
  }
  if (line.size() > indent.size()) text += line + '\n';
  return text;
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
    file_->lines(text);
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
  if (!*stream_)
    throw OutputError(std::string(special_ ? "cannot write the table" : "cannot write the table to standard output") +
                      ": " + std::strerror(errno));
}

void TableSink::stage_into(OutputStage& stage) {
  if (file_) stage.add(*file_);
  else close();
}

void ErrorLines::add(const std::string& message) {
  const auto [it, added] = index_.emplace(message, lines_.size());
  if (added) lines_.emplace_back(message, 1);
  else ++lines_[it->second].second;
}

void ErrorLines::write(std::ostream& err, const char* items) const {
  for (const auto& [line, count] : lines_) {
    err << "kavor-batch: error: " << line;
    if (count > 1) err << " (" << count << ' ' << items << ')';
    err << '\n';
  }
}

Progress::Progress(const char* unit, std::FILE* terminal)
    : unit_(unit), terminal_(terminal != nullptr ? terminal : stderr),
      enabled_(terminal != nullptr || ::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

void Progress::advance(std::size_t done) {
  done_ += done;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(250)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(terminal_, "\r%zu %s, %.0f %s per second ", done_, unit_,
               seconds > 0 ? static_cast<double>(done_) / seconds : 0.0, unit_);
  std::fflush(terminal_);
  shown_ = true;
}

void Progress::clear() {
  if (!shown_) return;
  std::fputs("\r\x1b[K", terminal_);  // carriage return, erase to the end of the line
  std::fflush(terminal_);
  shown_ = false;
  last_ = std::chrono::steady_clock::time_point{};
}

void Progress::finish() {
  if (!enabled_ || done_ == 0) return;
  last_ = std::chrono::steady_clock::time_point{};
  advance(0);
  std::fputc('\n', terminal_);
  shown_ = false;
}

}  // namespace kavor::batch
