// All or nothing on disk: a run that fails (exit status 2) leaves the
// directory as it found it, a lost summary is such a failure, and a run ended
// by a signal leaves no temporary file and keeps earlier results.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch.hpp"
#include "core/errors.hpp"
#include "core/outfile.hpp"
#include "core/parallel.hpp"
#include "test_util.hpp"

namespace kavor::testing {
namespace {

namespace fs = std::filesystem;

// Every entry of a directory: a file's name and bytes, a directory's name.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const fs::path& dir) {
  Snapshot entries;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    entries[name] = entry.is_directory() ? "<directory>" : read_file(entry.path());
  }
  return entries;
}

// Names of the entries that differ between two snapshots.
std::string differences(const Snapshot& before, const Snapshot& after) {
  std::string text;
  for (const auto& [name, bytes] : before) {
    auto it = after.find(name);
    if (it == after.end()) text += " lost:" + name;
    else if (it->second != bytes) text += " changed:" + name;
  }
  for (const auto& [name, bytes] : after)
    if (!before.count(name)) text += " added:" + name;
  return text;
}

// A pair of two ellipsoidal blobs of C, H, O and N on a jittered 2.2 Angstrom
// lattice, each with a dozen Cl atoms near one end, off its principal axes
// (so that the higher-Z-CM orients every axis), turned at random and set
// 240 Angstrom apart: a pair the analysis accepts, of any size. The geometry
// block, ending with N1.
std::string blob_pair_block(int atoms, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.4, 0.4), unit(0.0, 1.0);
  struct Placed {
    const char* label;
    double p[3];
  };
  auto blob = [&](int count, const double axes[3]) {
    struct Point {
      double q, x, y, z;
    };
    std::vector<Point> points;
    for (double scale = 1.0; static_cast<int>(points.size()) < count; scale *= 1.1) {
      points.clear();
      int m[3];
      for (int j = 0; j < 3; ++j) m[j] = static_cast<int>(axes[j] * scale / 2.2) + 1;
      for (int i = -m[0]; i <= m[0]; ++i)
        for (int j = -m[1]; j <= m[1]; ++j)
          for (int k = -m[2]; k <= m[2]; ++k) {
            const double x = 2.2 * i, y = 2.2 * j, z = 2.2 * k;
            const double q = (x / axes[0]) * (x / axes[0]) + (y / axes[1]) * (y / axes[1]) +
                             (z / axes[2]) * (z / axes[2]);
            if (q <= scale * scale) points.push_back({q, x, y, z});
          }
    }
    std::stable_sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.q < b.q; });
    std::vector<Placed> out;
    for (int i = 0; i < count; ++i) {
      const double u = unit(rng);
      const char* label = u < 0.35 ? "C" : u < 0.80 ? "H" : u < 0.90 ? "O" : "N";
      out.push_back({label, {points[i].x + jitter(rng), points[i].y + jitter(rng), points[i].z + jitter(rng)}});
    }
    const double d[3] = {0.62 * axes[0], 0.48 * axes[1], 0.41 * axes[2]};
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) order[i] = i;
    auto reach = [&](int i) { return out[i].p[0] * d[0] + out[i].p[1] * d[1] + out[i].p[2] * d[2]; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return reach(a) > reach(b); });
    for (int i = 0; i < 12 && i < count; ++i) out[order[i]].label = "Cl";
    // A random turn (from a random unit quaternion) and a shift.
    const double u1 = unit(rng), u2 = unit(rng), u3 = unit(rng);
    const double w = std::sqrt(1 - u1) * std::sin(2 * M_PI * u2), x = std::sqrt(1 - u1) * std::cos(2 * M_PI * u2),
                 y = std::sqrt(u1) * std::sin(2 * M_PI * u3), z = std::sqrt(u1) * std::cos(2 * M_PI * u3);
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    for (Placed& a : out) {
      const double v[3] = {a.p[0], a.p[1], a.p[2]};
      for (int j = 0; j < 3; ++j) a.p[j] = r[j][0] * v[0] + r[j][1] * v[1] + r[j][2] * v[2];
    }
    return out;
  };
  const double axes1[3] = {70.0, 52.0, 28.0}, axes2[3] = {66.0, 56.0, 29.0};
  const int n1 = atoms / 2;
  std::vector<Placed> pair = blob(n1, axes1);
  for (Placed& a : pair) a.p[0] -= 120.0;
  for (Placed& a : blob(atoms - n1, axes2)) {
    a.p[0] += 120.0;
    pair.push_back(a);
  }
  std::string text = std::to_string(atoms) + "\n";
  char line[96];
  for (const Placed& a : pair) {
    std::snprintf(line, sizeof line, "%-2s %15.8f %15.8f %15.8f\n", a.label, a.p[0], a.p[1], a.p[2]);
    text += line;
  }
  return text + "\n" + std::to_string(n1) + "\n";
}

std::string with_user_values(const std::string& block, const std::string& r) {
  return block + "position\n" + r + "\n30.0\n40.0\nEuler angles\n10.0\n20.0\n30.0\nend\n";
}

struct Program {
  const char* name;
  const char* input;
  RunResult (*run)(const fs::path&);
  const char* binary;
  bool builder;
};
const Program kPrograms[] = {{"kavor", "input-GEOMETRY.xyz", run_kavor, KAVOR_BINARY, false},
                             {"ud-kavor", "UD-input-GEOMETRY.xyz", run_ud_kavor, UD_KAVOR_BINARY, true}};

// A directory holding the files of an earlier run of `p` on the ethanol dimer
// and, as its input now, `input`: a run that published anything would change
// a file or add one.
void prepare_rerun(const Program& p, const ScratchDir& dir, const std::string& input) {
  write_file(dir / p.input, read_file(example("ethanol-dimer", "UD-input-GEOMETRY.xyz")));
  const RunResult first = p.run(dir.path());
  ASSERT_EQ(first.status, 0) << first.err;
  write_file(dir / p.input, input);
}

struct ChildEnd {
  bool exited = false;
  int status = -1;  // exit status, or the signal that ended it
  std::string err;  // what the child wrote to the descriptor it was given
};

// Runs `body` in a child process, which exits with what `body` returns;
// `body` gets a descriptor for its messages (standard error, say).
ChildEnd in_child(const std::function<int(int)>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::_exit(body(fds[1]));
  }
  ::close(fds[1]);
  ChildEnd end;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) end.err.append(buffer, got);
  ::close(fds[0]);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  end.exited = WIFEXITED(raw);
  end.status = end.exited ? WEXITSTATUS(raw) : WTERMSIG(raw);
  return end;
}

// An in-process run for in_child: its error lines go to `fd`.
int run_reporting(const Program& p, const fs::path& dir, int fd) {
  const RunResult r = p.run(dir);
  if (::write(fd, r.err.data(), r.err.size()) < 0) return 99;
  return r.status;
}

TEST(AllOrNothing, FileSizeLimitLeavesTheDirectoryAsItWas) {
  // Limits just below each file's size fail the files from that size up: in
  // a small pair the report is the largest file and fails after the others
  // are complete; in a 3000-atom pair the geometry files are the largest.
  const std::string blob = blob_pair_block(3000, 7);
  const std::string small = read_file(example("formamide-dimer", "UD-input-GEOMETRY.xyz"));
  for (const Program& p : kPrograms) {
    for (const std::string& input : {small, p.builder ? with_user_values(blob, "200.0") : blob}) {
      ScratchDir sizes;
      write_file(sizes / p.input, input);
      const RunResult unlimited = p.run(sizes.path());
      ASSERT_EQ(unlimited.status, 0) << unlimited.err;
      std::vector<rlim_t> limits = {0};
      for (const auto& [name, bytes] : snapshot(sizes.path()))
        if (name != p.input) limits.push_back(bytes.size() - 1);
      ASSERT_GE(limits.size(), 4u);
      for (rlim_t limit : limits) {
        SCOPED_TRACE(std::string(p.name) + " limit " + std::to_string(limit));
        ScratchDir dir;
        prepare_rerun(p, dir, input);
        const Snapshot before = snapshot(dir.path());
        const ChildEnd end = in_child([&](int fd) {
          const rlimit cap{limit, limit};
          ::signal(SIGXFSZ, SIG_IGN);
          if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) return 77;
          return run_reporting(p, dir.path(), fd);
        });
        ASSERT_TRUE(end.exited);
        EXPECT_EQ(end.status, kExitIoError);
        EXPECT_EQ(split_lines(end.err).size(), 1u) << end.err;
        EXPECT_NE(end.err.find("': File too large\n"), std::string::npos) << end.err;
        EXPECT_EQ(differences(before, snapshot(dir.path())), "");
      }
    }
  }
}

TEST(AllOrNothing, FullFileSystemLeavesTheDirectoryAsItWas) {
  const Program& p = kPrograms[1];
  const std::string input = with_user_values(blob_pair_block(3000, 7), "200.0");
  // Blocks the new files take: every amount of free space below it fails.
  ScratchDir sizes;
  write_file(sizes / p.input, input);
  ASSERT_EQ(p.run(sizes.path()).status, 0);
  unsigned long need = 0;
  for (const auto& [name, bytes] : snapshot(sizes.path()))
    if (name != p.input) need += (bytes.size() + 4095) / 4096;
  ScratchDir dir;
  // In a mount namespace of its own, the child mounts a small tmpfs on `dir`
  // and checks a run at several amounts of free space; it sends back what
  // went wrong.
  const ChildEnd end = in_child([&](int fd) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=8m") != 0)
      return 77;
    prepare_rerun(p, dir, input);
    struct statvfs fs_info {};
    if (::statvfs(dir.path().c_str(), &fs_info) != 0) return 78;
    const unsigned long used = fs_info.f_blocks - fs_info.f_bfree;
    const Snapshot before = snapshot(dir.path());
    std::string problems;
    if (before.size() != 5) problems += " the earlier run left " + std::to_string(before.size()) + " files";
    for (unsigned long spare : {0ul, 2ul, need / 3, 2 * need / 3, need - 1}) {
      const std::string size = "size=" + std::to_string((used + spare) * fs_info.f_frsize);
      if (::mount("tmpfs", dir.path().c_str(), "tmpfs", MS_REMOUNT, size.c_str()) != 0) return 79;
      const RunResult r = p.run(dir.path());
      const std::string label = " [" + std::to_string(spare) + " spare blocks] ";
      if (r.status != kExitIoError) problems += label + "status " + std::to_string(r.status);
      if (r.err.find("': No space left on device\n") == std::string::npos) problems += label + r.err;
      const std::string changed = differences(before, snapshot(dir.path()));
      if (!changed.empty()) problems += label + changed;
    }
    return ::write(fd, problems.data(), problems.size()) < 0 ? 99 : 0;
  });
  if (end.exited && end.status == 77) GTEST_SKIP() << "cannot mount a tmpfs here";
  ASSERT_TRUE(end.exited);
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.err, "");
}

// Runs a built program in `dir` with standard output on /dev/full (or closed).
ChildEnd run_without_console(const Program& p, const fs::path& dir, bool closed) {
  return in_child([&](int fd) {
    if (::chdir(dir.c_str()) != 0 || ::dup2(fd, 2) < 0) return 98;
    if (closed) {
      ::close(1);
    } else {
      const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
      if (full < 0) return 77;
      ::dup2(full, 1);
    }
    ::execl(p.binary, p.binary, static_cast<char*>(nullptr));
    return 97;
  });
}

TEST(AllOrNothing, LostSummaryIsAnErrorAndPublishesNothing) {
  for (const Program& p : kPrograms) {
    for (bool closed : {false, true}) {
      SCOPED_TRACE(std::string(p.name) + (closed ? " closed" : " /dev/full"));
      ScratchDir dir;
      prepare_rerun(p, dir, read_file(example("formamide-dimer", "UD-input-GEOMETRY.xyz")));
      const Snapshot before = snapshot(dir.path());
      const ChildEnd end = run_without_console(p, dir.path(), closed);
      if (end.exited && end.status == 77) GTEST_SKIP() << "no /dev/full";
      EXPECT_TRUE(end.exited);
      EXPECT_EQ(end.status, kExitIoError);
      EXPECT_EQ(end.err, std::string(p.name) + ": error: cannot write standard output\n");
      EXPECT_EQ(differences(before, snapshot(dir.path())), "");
    }
  }
}

// Counts the files without a name in `dir` that process `pid` holds open.
int unnamed_files_open(pid_t pid, const fs::path& dir) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    const std::string text = target.string();
    if (!ec && text.rfind(dir.string() + "/", 0) == 0 && text.find(" (deleted)") != std::string::npos)
      ++count;
  }
  return count;
}

// Whether an entry of `dir` has a name containing both parts.
bool has_entry_containing(const fs::path& dir, const std::string& part, const std::string& other = "") {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(part) != std::string::npos && name.find(other) != std::string::npos) return true;
  }
  return false;
}

TEST(AllOrNothing, SignalsLeaveNoTemporaryAndKeepEarlierResults) {
  // A full-size pair: the result files take several MB, so the signals
  // arrive while they are being written.
  ScratchDir dir;
  write_file(dir / "UD-input-GEOMETRY.xyz", with_user_values(blob_pair_block(150000, 20261207), "150.0"));
  const RunResult first = run_ud_kavor(dir.path());
  ASSERT_EQ(first.status, 0) << first.err;
  const Snapshot results = snapshot(dir.path());
  ASSERT_EQ(results.size(), 5u);

  struct Moment {
    const char* what;
    bool named;  // named temporary files instead of unnamed ones
    int signal;
    std::function<bool(pid_t)> reached;
  };
  const fs::path d = dir.path();
  const Moment moments[] = {
      {"analysis, report open", true, SIGTERM,
       [&](pid_t) { return has_entry_containing(d, ".UD-LOG-PARAM.txt.tmp-"); }},
      {"placement, new input file open", true, SIGINT,
       [&](pid_t) { return has_entry_containing(d, ".input-GEOMETRY.xyz.tmp-"); }},
      {"result geometry open", true, SIGTERM,
       [&](pid_t) { return has_entry_containing(d, "]-(", ".xyz.tmp-"); }},
      {"placement, unnamed files", false, SIGTERM, [&](pid_t pid) { return unnamed_files_open(pid, d) >= 2; }},
      {"placement, unnamed files", false, SIGKILL, [&](pid_t pid) { return unnamed_files_open(pid, d) >= 2; }},
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(std::string(m.what) + ", signal " + std::to_string(m.signal));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      allow_unnamed_files(!m.named);
      ::_exit(run_ud_kavor(d).status);
    }
    int raw = 0;
    bool sent = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
      if (!sent && m.reached(pid)) sent = ::kill(pid, m.signal) == 0;
      if (std::chrono::steady_clock::now() > give_up) ::kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(sent) << "the run ended before the moment";
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == m.signal) << "wait status " << raw;
    EXPECT_EQ(differences(results, snapshot(d)), "");
  }
}

// An OutputFile used alone appears under its name at commit(), replaces an
// earlier file in one step, gets the mode of a plain create and leaves
// nothing when it is never committed, with unnamed or named temporaries.
TEST(AllOrNothing, OutputFileAlonePublishesAtCommit) {
  const mode_t mask = ::umask(022);
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    allow_unnamed_files(unnamed);
    ScratchDir dir;
    write_file(dir / "a.txt", "earlier\n");
    {
      OutputFile f;
      f.open(dir / "a.txt");
      f.line("first");
      EXPECT_EQ(dir.files().size(), unnamed ? 1u : 2u);
      EXPECT_EQ(read_file(dir / "a.txt"), "earlier\n");
      f.commit();
    }
    EXPECT_EQ(dir.files(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(read_file(dir / "a.txt"), "first\n");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    {
      OutputFile f;
      f.open(dir / "a.txt");
      f.line("never committed");
    }
    EXPECT_EQ(dir.files(), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(read_file(dir / "a.txt"), "first\n");
  }
  allow_unnamed_files(true);
  ::umask(mask);
}

// The three programs under a file-size limit of 0: the write fails with
// EFBIG, which is reported as an output error, not a SIGXFSZ death.
TEST(OutputsUnderFaults, FileSizeLimitIsAnOutputErrorInEveryProgram) {
  struct Case {
    const char* name;
    const char* binary;
    std::vector<const char*> args;
    const char* input;
  };
  const Case cases[] = {
      {"kavor", KAVOR_BINARY, {}, "input-GEOMETRY.xyz"},
      {"ud-kavor", UD_KAVOR_BINARY, {}, "UD-input-GEOMETRY.xyz"},
      {"kavor-batch", KAVOR_BATCH_BINARY, {"analyze", "-o", "t.tsv", "pair.xyz"}, "pair.xyz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    write_file(dir / c.input, read_file(example("formamide-dimer", "UD-input-GEOMETRY.xyz")));
    const Snapshot before = snapshot(dir.path());
    const ChildEnd end = in_child([&](int fd) {
      const rlimit cap{0, 0};
      const int null = ::open("/dev/null", O_WRONLY);
      if (::chdir(dir.path().c_str()) != 0 || null < 0 || ::dup2(null, 1) < 0 || ::dup2(fd, 2) < 0) return 98;
      ::signal(SIGXFSZ, SIG_DFL);
      if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) return 77;
      std::vector<const char*> argv = {c.binary};
      argv.insert(argv.end(), c.args.begin(), c.args.end());
      argv.push_back(nullptr);
      ::execv(c.binary, const_cast<char* const*>(argv.data()));
      return 97;
    });
    ASSERT_TRUE(end.exited) << "ended by signal " << end.status;
    EXPECT_EQ(end.status, kExitIoError);
    EXPECT_EQ(split_lines(end.err).size(), 1u) << end.err;
    EXPECT_NE(end.err.find(std::string(c.name) + ": error: cannot write '"), std::string::npos) << end.err;
    EXPECT_NE(end.err.find("': File too large\n"), std::string::npos) << end.err;
    EXPECT_EQ(differences(before, snapshot(dir.path())), "");
  }
}

const std::string kGrid = " --r 3:5:1 --theta 0:90:90 --phi 0 --alpha 0 --beta 90 --gamma 0 ";  // 6 points

RunResult batch_build(const ScratchDir& dir, const std::string& args) {
  return run_command("'" KAVOR_BATCH_BINARY "' build pair.xyz" + kGrid + args, dir.path());
}

// kavor-batch build's outputs: all of them or none, never mixed with an
// earlier scan's folders, written through links to their targets.
TEST(OutputsUnderFaults, BuildPublishesEveryOutputOrNone) {
  // Point folders, named with as many digits as the last point's number.
  const std::string points = "\"1\":\"<directory>\",\"2\":\"<directory>\",\"3\":\"<directory>\","
                             "\"4\":\"<directory>\",\"5\":\"<directory>\",\"6\":\"<directory>\"";
  auto entries = [](const fs::path& dir) {
    std::string text;
    for (const auto& [name, bytes] : snapshot(dir))
      text += (text.empty() ? "\"" : ",\"") + name + "\":\"" + (bytes == "<directory>" ? bytes : "") + "\"";
    return text;
  };
  struct Case {
    const char* name;
    std::string prepare;  // shell lines run first
    std::string args;
    int status;
    std::string scan;  // entries of scan/ afterwards; "-" for none
  };
  const Case cases[] = {
      {"index on a full device", "", "--xyz s.xyz --dirs scan -o /dev/full", 2, "-"},
      {"into an empty folder", "mkdir scan", "--dirs scan -o i.tsv", 0, points},
      {"into a folder in use", "mkdir -p scan/1 && echo old > scan/1/f", "--dirs scan -o i.tsv", 2,
       "\"1\":\"<directory>\""},
      {"replacing a folder in use", "mkdir -p scan/1 scan/07 && echo old > scan/x", "--dirs scan/ --force -o i.tsv",
       0, points},
      {"a file where the folder goes", "echo old > scan", "--dirs scan -o i.tsv", 2, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    write_file(dir / "pair.xyz", read_file(example("methanol-dimer")));
    if (!c.prepare.empty()) {
      ASSERT_EQ(run_command(c.prepare, dir.path()).status, 0);
    }
    const Snapshot before = snapshot(dir.path());
    const RunResult run = batch_build(dir, c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status != 0) {
      EXPECT_EQ(split_lines(run.err).size(), 1u) << run.err;
      EXPECT_EQ(differences(before, snapshot(dir.path())), "");
      if (fs::is_directory(dir / "scan")) {
        EXPECT_EQ(entries(dir / "scan"), c.scan);
      }
      continue;
    }
    EXPECT_EQ(entries(dir / "scan"), c.scan);
    EXPECT_EQ(split_lines(read_file(dir / "i.tsv")).size(), 7u);
    for (const auto& [name, bytes] : snapshot(dir.path())) EXPECT_NE(name[0], '.') << name;
  }

  // -o and --xyz through links (one to a file yet to be made): the targets
  // are written, the links stay.
  ScratchDir dir;
  write_file(dir / "pair.xyz", read_file(example("methanol-dimer")));
  ASSERT_EQ(run_command("mkdir out && echo old > out/i.tsv && ln -s out/i.tsv i.tsv && "
                        "ln -s out/s.xyz s.xyz",
                        dir.path()).status, 0);
  RunResult run = batch_build(dir, "-o i.tsv --xyz s.xyz");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir / "i.tsv"));
  EXPECT_TRUE(fs::is_symlink(dir / "s.xyz"));
  const std::string index = read_file(dir / "out" / "i.tsv");
  EXPECT_EQ(split_lines(index).size(), 7u);
  EXPECT_EQ(split_lines(read_file(dir / "out" / "s.xyz")).size(), 6u * 14u);
  EXPECT_EQ(dir.files(), (std::vector<std::string>{"i.tsv", "out", "pair.xyz", "s.xyz"}));
  // A path naming standard output is that descriptor, appended to as the
  // shell opened it.
  run = run_command("echo first > o.tsv && '" KAVOR_BATCH_BINARY "' build pair.xyz" + kGrid +
                        "-o /dev/fd/1 >> o.tsv",
                    dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir / "o.tsv"), "first\n" + index);
}

// A signal in the middle of a multi-threaded build --dirs, with named
// temporary files (as without /proc): no point folder, no temporary file or
// folder and no other output is left.
TEST(OutputsUnderFaults, SignalDuringBuildLeavesNothing) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE("signal " + std::to_string(signal_number));
    ScratchDir dir;
    write_file(dir / "pair.xyz", read_file(example("methanol-dimer")));
    const fs::path d = dir.path();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::signal(signal_number, SIG_DFL);
      allow_unnamed_files(false);
      if (::chdir(d.c_str()) != 0) ::_exit(98);
      std::ostringstream out, err;
      ::_exit(batch::batch_main({"build", "pair.xyz", "--r", "3:6:0.01", "--theta", "0:180:1", "--phi", "0",
                                 "--alpha", "0", "--beta", "90", "--gamma", "0", "--jobs", "8", "--dirs",
                                 "scan", "--xyz", "s.xyz", "-o", "i.tsv"},
                                out, err));
    }
    // Sent once the staged tree holds some point folders.
    auto folders = [&] {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(d, ec))
        if (entry.path().filename().string().rfind(".scan.tmp-", 0) == 0) {
          long count = 0;
          for (auto it = fs::directory_iterator(entry.path(), ec); !ec && it != fs::directory_iterator();
               it.increment(ec))
            ++count;
          return count;
        }
      return 0L;
    };
    int raw = 0;
    bool sent = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
      if (!sent && folders() >= 50) sent = ::kill(pid, signal_number) == 0;
      if (std::chrono::steady_clock::now() > give_up) ::kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(sent) << "the run ended first";
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal_number) << "wait status " << raw;
    EXPECT_EQ(dir.files(), std::vector<std::string>{"pair.xyz"});
  }
}

// parallel_for hands a worker's exception, or one from the poll, to its
// caller and starts no further item.
TEST(OutputsUnderFaults, ParallelWorkCarriesItsExceptionToTheCaller) {
  std::atomic<long> done{0};
  EXPECT_THROW(parallel_for(4, 1000000,
                            [&](size_t i) {
                              if (i == 5000) throw std::bad_alloc();
                              ++done;
                            }),
               std::bad_alloc);
  EXPECT_LT(done, 1000000 - 1);
  done = 0;
  int polls = 0;
  EXPECT_THROW(parallel_for(
                   2, 1000000,
                   [&](size_t) {
                     std::this_thread::sleep_for(std::chrono::microseconds(100));
                     ++done;
                   },
                   [&] {
                     if (++polls == 3) throw std::runtime_error("interrupted");
                   }),
               std::runtime_error);
  EXPECT_EQ(polls, 3);
  EXPECT_LT(done, 100000);
}

TEST(OutputsUnderFaults, BackgroundWorkDoesEveryItemOnceAndCarriesItsException) {
  for (const int jobs : {1, 2, 4}) {
    SCOPED_TRACE(jobs);
    std::vector<std::atomic<int>> hits(5000);
    BackgroundFor work;
    work.start(jobs, hits.size(), [&](size_t i) { ++hits[i]; });
    work.finish();
    for (const std::atomic<int>& h : hits) ASSERT_EQ(h.load(), 1);
    work.start(jobs, 100000, [](size_t i) {
      if (i == 50) throw std::bad_alloc();
    });
    EXPECT_THROW(work.finish(), std::bad_alloc);
    work.start(jobs, 3, [](size_t) {});  // reusable after a failure
    EXPECT_NO_THROW(work.finish());
  }
}

}  // namespace
}  // namespace kavor::testing
