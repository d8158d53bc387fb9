#include "batch/table.hpp"

#include <unistd.h>

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

TableSink::TableSink(const std::string& path, std::ostream& stream) : stream_(&stream) {
  if (path.empty() || path == "-") return;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status)) {
    auto special = std::make_unique<std::ofstream>(path, std::ios::binary);
    if (!*special) throw OutputError("cannot write '" + path + "': " + std::strerror(errno));
    stream_ = special.get();
    special_ = std::move(special);
    return;
  }
  file_ = std::make_unique<OutputFile>();
  file_->open(path);
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
