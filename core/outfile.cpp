#include "core/outfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/errors.hpp"

namespace kavor {

namespace {

std::string describe(const std::filesystem::path& path, const char* what, int error) {
  return "cannot " + std::string(what) + " '" + path.string() + "': " + std::strerror(error);
}

// --- named temporary files that a signal handler removes ---------------------
//
// The handler may only read plain memory: a fixed table of paths, each
// marked in use after its path is complete and unmarked once the file (or
// tree) is gone or renamed.
constexpr int kCleanupSlots = 64;
constexpr size_t kCleanupPathMax = 4096;
struct CleanupSlot {
  volatile std::sig_atomic_t used;
  volatile std::sig_atomic_t tree;  // a directory tree rather than a file
  char path[kCleanupPathMax];
};
CleanupSlot g_cleanup[kCleanupSlots];

// Returns the slot, or -1 when the table is full or the path too long (the
// file then only loses its removal on a signal).
// Files may be written from several threads (the batch program's per-point
// directories): claiming a slot is serialised.
std::mutex g_cleanup_claim;

int remember_temporary(const std::string& path, bool tree = false) {
  if (path.size() >= kCleanupPathMax) return -1;
  const std::lock_guard<std::mutex> lock(g_cleanup_claim);
  for (int i = 0; i < kCleanupSlots; ++i) {
    if (g_cleanup[i].used) continue;
    std::memcpy(g_cleanup[i].path, path.c_str(), path.size() + 1);
    g_cleanup[i].tree = tree;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_cleanup[i].used = 1;
    return i;
  }
  return -1;
}

void forget_temporary(int& slot) {
  if (slot >= 0) g_cleanup[slot].used = 0;
  slot = -1;
}

// Removes what the directory `fd` holds, `depth` levels of directories
// down, with system calls only: it runs in a signal handler.
void empty_directory(int fd, int depth) {
  struct Entry {  // the kernel's linux_dirent64
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
  };
  alignas(8) char buffer[2048];
  for (;;) {
    const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (got <= 0) return;
    for (long at = 0; at < got;) {
      const Entry* entry = reinterpret_cast<const Entry*>(buffer + at);
      at += entry->length;
      const char* name = entry->name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      if (::unlinkat(fd, name, 0) == 0 || depth == 0) continue;
      const int inner = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (inner < 0) continue;
      empty_directory(inner, depth - 1);
      ::close(inner);
      ::unlinkat(fd, name, AT_REMOVEDIR);
    }
  }
}

// A staged tree (DIR/<folder>/<file>). Other threads may still be adding to
// it by its name: it is first moved to another name, under which only what
// they had begun can still appear, and emptied until it can be removed.
void remove_tree(const char* path) {
  static char moved[kCleanupPathMax + 8];
  const size_t length = std::strlen(path);
  std::memcpy(moved, path, length);
  std::memcpy(moved + length, ".gone", 6);
  const char* tree = ::rename(path, moved) == 0 ? moved : path;
  for (int pass = 0; pass < 100; ++pass) {
    const int fd = ::open(tree, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    empty_directory(fd, 1);
    ::close(fd);
    if (::rmdir(tree) == 0 || errno != ENOTEMPTY) return;
  }
}

void remove_temporaries_and_die(int signal_number) {
  const int saved = errno;
  for (CleanupSlot& slot : g_cleanup)
    if (slot.used && !slot.tree) ::unlink(slot.path);
  for (CleanupSlot& slot : g_cleanup)
    if (slot.used && slot.tree) remove_tree(slot.path);
  errno = saved;
  // The handler was installed with SA_RESETHAND: the signal, raised again,
  // is delivered with its default action once the handler returns.
  ::raise(signal_number);
}

constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGXFSZ};

// --- names ------------------------------------------------------------------

std::atomic<bool> g_unnamed_allowed{true};

bool unnamed_files_usable() {
  // Without /proc an unnamed file could not be linked into place.
  static const bool proc_available = ::access("/proc/self/fd", X_OK) == 0;
  return proc_available && g_unnamed_allowed.load();
}

// Errors by which a file system (or an older kernel) refuses O_TMPFILE.
bool refuses_unnamed(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// ".<name>.tmp-" and six letters or digits, varying between calls and processes.
std::filesystem::path temporary_name(const std::filesystem::path& final_path) {
  thread_local std::uint64_t state = 0;
  if (state == 0) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    state = (static_cast<std::uint64_t>(::getpid()) << 32) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
            (static_cast<std::uint64_t>(now.tv_sec) << 20) ^ 0x9E3779B97F4A7C15ULL ^
            (static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id())) << 7);
  }
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix(6, 'x');
  for (char& c : suffix) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    c = kChars[state % (sizeof kChars - 1)];
  }
  std::filesystem::path dir = final_path.parent_path();
  return dir / ("." + final_path.filename().string() + ".tmp-" + suffix);
}

constexpr int kNameAttempts = 100;

}  // namespace

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(other.file_),
      unnamed_fd_(other.unnamed_fd_),
      write_errno_(other.write_errno_),
      cleanup_slot_(other.cleanup_slot_),
      final_path_(std::move(other.final_path_)),
      temp_path_(std::move(other.temp_path_)) {
  other.file_ = nullptr;
  other.unnamed_fd_ = -1;
  other.cleanup_slot_ = -1;
  other.temp_path_.clear();
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (unnamed_fd_ >= 0) ::close(unnamed_fd_);
  unnamed_fd_ = -1;
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  forget_temporary(cleanup_slot_);
}

void OutputFile::open(const std::filesystem::path& final_path) {
  discard();
  final_path_ = final_path;
  write_errno_ = 0;
  std::filesystem::path dir = final_path.parent_path();
  if (dir.empty()) dir = ".";
  // A directory under the final name could never be replaced by the rename:
  // say so now rather than after the whole file has been written.
  std::error_code ec;
  if (std::filesystem::is_directory(final_path, ec))
    throw OutputError(describe(final_path, "write", EISDIR));

  int fd = -1;
  if (unnamed_files_usable()) {
    // Mode 0666 less the umask, as a plain create gives.
    fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0 && !refuses_unnamed(errno)) throw OutputError(describe(final_path, "create", errno));
  }
  if (fd < 0) {
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
      const std::filesystem::path name = temporary_name(final_path);
      // Remembered before it exists, so that no moment leaves it unremovable.
      cleanup_slot_ = remember_temporary(name.string());
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        temp_path_ = name;
      } else {
        const int error = errno;
        forget_temporary(cleanup_slot_);
        if (error != EEXIST || attempt + 1 == kNameAttempts)
          throw OutputError(describe(final_path, "create", error));
      }
    }
  }
  file_ = ::fdopen(fd, "w");
  if (file_ == nullptr) {
    const int error = errno;
    ::close(fd);
    discard();
    throw OutputError(describe(final_path, "create", error));
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

void OutputFile::line(std::string_view text) {
  // After a failed write the rest is not attempted: the file is lost anyway.
  if (write_errno_ != 0) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fputc('\n', file_) == EOF)
    write_errno_ = errno != 0 ? errno : EIO;
}

void OutputFile::lines(std::string_view text) {
  if (text.empty()) return;
  if (text.back() == '\n') text.remove_suffix(1);
  line(text);
}

void OutputFile::finish() {
  if (file_ == nullptr) return;
  int error = write_errno_;
  auto check = [&error](bool ok) {
    if (!ok && error == 0) error = errno != 0 ? errno : EIO;
  };
  check(std::fflush(file_) == 0 && !std::ferror(file_));
  // An unnamed file needs a descriptor until it is linked; closing the stream
  // still reports errors that only show at close.
  int kept = -1;
  if (error == 0 && temp_path_.empty()) {
    kept = ::fcntl(::fileno(file_), F_DUPFD_CLOEXEC, 3);
    check(kept >= 0);
  }
  check(std::fclose(file_) == 0);
  file_ = nullptr;
  unnamed_fd_ = kept;
  if (error != 0) {
    discard();
    throw OutputError(describe(final_path_, "write", error));
  }
}

void OutputFile::name_temporary() {
  if (unnamed_fd_ < 0) return;
  char proc_path[64];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", unnamed_fd_);
  for (int attempt = 0;; ++attempt) {
    const std::filesystem::path name = temporary_name(final_path_);
    cleanup_slot_ = remember_temporary(name.string());
    if (::linkat(AT_FDCWD, proc_path, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_path_ = name;
      break;
    }
    const int error = errno;
    forget_temporary(cleanup_slot_);
    if (error != EEXIST || attempt + 1 == kNameAttempts) {
      discard();
      throw OutputError(describe(final_path_, "write", error));
    }
  }
  ::close(unnamed_fd_);
  unnamed_fd_ = -1;
}

void OutputFile::rename_into_place() {
  if (temp_path_.empty()) return;
  if (std::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
    const int error = errno;
    discard();
    throw OutputError(describe(final_path_, "write", error));
  }
  temp_path_.clear();
  forget_temporary(cleanup_slot_);
}

void OutputFile::commit() {
  finish();
  name_temporary();
  rename_into_place();
}

void OutputStage::add(OutputFile& file) {
  file.finish();
  files_.push_back(std::move(file));
}

void OutputStage::add(OutputTree& tree) { trees_.push_back(std::move(tree)); }

void OutputStage::publish() {
  try {
    for (OutputFile& file : files_) file.name_temporary();
    for (OutputTree& tree : trees_) tree.rename_into_place();
    for (OutputFile& file : files_) file.rename_into_place();
  } catch (...) {
    discard();
    throw;
  }
  discard();
}

OutputTree::OutputTree(OutputTree&& other) noexcept
    : replace_(other.replace_),
      cleanup_slot_(other.cleanup_slot_),
      final_path_(std::move(other.final_path_)),
      temp_path_(std::move(other.temp_path_)) {
  other.cleanup_slot_ = -1;
  other.temp_path_.clear();
}

OutputTree::~OutputTree() { discard(); }

void OutputTree::discard() {
  if (!temp_path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(temp_path_, ec);
  }
  temp_path_.clear();
  forget_temporary(cleanup_slot_);
}

void OutputTree::open(const std::filesystem::path& final_path, bool replace) {
  discard();
  final_path_ = final_path;
  replace_ = replace;
  for (int attempt = 0;; ++attempt) {
    const std::filesystem::path name = temporary_name(final_path);
    cleanup_slot_ = remember_temporary(name.string(), true);
    if (::mkdir(name.c_str(), 0777) == 0) {
      temp_path_ = name;
      return;
    }
    const int error = errno;
    forget_temporary(cleanup_slot_);
    if (error != EEXIST || attempt + 1 == kNameAttempts)
      throw OutputError(describe(final_path, "create directory", error));
  }
}

void OutputTree::rename_into_place() {
  if (temp_path_.empty()) return;
  const char* staged = temp_path_.c_str();
  const char* final_name = final_path_.c_str();
  int error = std::rename(staged, final_name) == 0 ? 0 : errno;
  // An absent or empty directory is replaced by the rename itself; one with
  // contents only when asked, swapped in one step where the file system
  // can, the old tree then removed from the staging name.
  if (replace_ && (error == ENOTEMPTY || error == EEXIST)) {
    if (::renameat2(AT_FDCWD, staged, AT_FDCWD, final_name, RENAME_EXCHANGE) == 0) {
      discard();
      return;
    }
    error = errno;
    if (error == EINVAL || error == ENOSYS) {
      const std::filesystem::path old = temporary_name(final_path_);
      error = std::rename(final_name, old.c_str()) == 0 ? 0 : errno;
      if (error == 0) {
        if (std::rename(staged, final_name) == 0) {
          std::error_code ec;
          std::filesystem::remove_all(old, ec);
        } else {
          error = errno;
          std::rename(old.c_str(), final_name);
        }
      }
    }
  }
  if (error != 0) {
    discard();
    throw OutputError(describe(final_path_, "write", error));
  }
  temp_path_.clear();
  forget_temporary(cleanup_slot_);
}

CleanupOnSignals::CleanupOnSignals() {
  static_assert(std::size(kCleanupSignals) == kSignals);
  struct sigaction action {};
  action.sa_handler = remove_temporaries_and_die;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
  for (int i = 0; i < kSignals; ++i) {
    struct sigaction current {};
    // A signal the caller ignores (nohup, a background job) stays ignored.
    if (::sigaction(kCleanupSignals[i], nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
      continue;
    installed_[i] = ::sigaction(kCleanupSignals[i], &action, &previous_[i]) == 0;
  }
}

CleanupOnSignals::~CleanupOnSignals() {
  for (int i = 0; i < kSignals; ++i)
    if (installed_[i]) ::sigaction(kCleanupSignals[i], &previous_[i], nullptr);
}

void occupy_closed_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

void allow_unnamed_files(bool allowed) { g_unnamed_allowed = allowed; }

}  // namespace kavor
