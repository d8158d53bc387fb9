#include "core/outfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.hpp"

namespace kavor {

static std::string describe(const std::filesystem::path& path, const char* what) {
  return "cannot " + std::string(what) + " '" + path.string() + "': " + std::strerror(errno);
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) {
    std::fclose(file_);
    ::unlink(temp_path_.c_str());
  }
}

void OutputFile::open(const std::filesystem::path& final_path) {
  final_path_ = final_path;
  std::filesystem::path dir = final_path.parent_path();
  if (dir.empty()) dir = ".";
  // A directory under the final name could never be replaced by the rename:
  // say so now rather than after the whole file has been written.
  std::error_code ec;
  if (std::filesystem::is_directory(final_path, ec)) {
    errno = EISDIR;
    throw OutputError(describe(final_path, "write"));
  }
  std::string pattern = (dir / ("." + final_path.filename().string() + ".tmp-XXXXXX")).string();
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) throw OutputError(describe(final_path, "create"));
  // mkstemp creates the file private; give it the mode a plain create would.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "w");
  if (file_ == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    throw OutputError(describe(final_path, "create"));
  }
  temp_path_ = pattern;
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

void OutputFile::line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fputc('\n', file_);
}

void OutputFile::commit() {
  if (file_ == nullptr) return;
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    int saved = errno;
    ::unlink(temp_path_.c_str());
    errno = saved;
    throw OutputError(describe(final_path_, "write"));
  }
  if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp_path_.c_str());
    errno = saved;
    throw OutputError(describe(final_path_, "write"));
  }
}

}  // namespace kavor
