// kavor-batch build: molecule 1 placed at every point of a grid or a table,
// one index row per point, optionally one multi-frame XYZ and one directory
// of ud-kavor's files per point.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "batch/frames.hpp"
#include "batch/table.hpp"
#include "builder/driver.hpp"
#include "builder/scan.hpp"
#include "core/elements.hpp"
#include "core/errors.hpp"
#include "core/fragments.hpp"
#include "core/reader.hpp"
#include "core/writers.hpp"

namespace kavor::batch {

namespace {

namespace fs = std::filesystem;

const char* const kHelp = R"(usage: kavor-batch build [options] FILE

Analyses the pair in FILE once, then places molecule 1 at every requested
point exactly as ud-kavor would (same checks, adjustments, placement and
short-contact rule), and writes one index row per point.

FILE is in kavor's or ud-kavor's input layout (N1 included) or standard XYZ
(its first frame) with --n1.

points, either a grid (every option required; each a value or an inclusive
range FROM:TO:STEP; r in Angstrom, angles in degrees):
  --r R  --theta T  --phi P  --alpha A  --beta B  --gamma G
      points are numbered from 1 with r outermost, then theta, phi, alpha,
      beta, and gamma innermost
or a table:
  --points TABLE  one point a line: r theta phi alpha beta gamma
                  (tabs or blanks; # starts a comment; a first line
                  starting with "r" is a header)

outputs (any combination; the index always):
  -o FILE           the index table (default: standard output)
  --xyz FILE        one multi-frame extended XYZ, one frame per placed point;
                    the comment line holds point, r, theta, phi, alpha, beta,
                    gamma, contacts, min_distance and name as key=value
  --dirs DIR        DIR/<point>/ per placed point, with the files ud-kavor
                    writes: input-GEOMETRY.xyz and the result XYZ and BILD
                    files (point numbers zero-padded to the grid's size);
                    DIR must be absent or empty, and appears whole when
                    the scan is complete
  --force           replace a --dirs DIR that is not empty
  --reports         also ud-kavor's report, UD-LOG-PARAM.txt, in each of them
  --skip-contacts   leave points with a short contact out of --xyz and
                    --dirs (their index rows stay)
  --min-distance D  the contact distance for --skip-contacts, Angstrom
                    (default: ud-kavor's 1.9)

other options:
  --n1 N | auto  molecule 1 of a standard XYZ file (as in analyze)
  --format F     auto (default), kavor or xyz
  --jobs N       threads, 1 to 1024 (default: the machine's cores)
  --shard K/N    take the K-th of N equal contiguous shares of the points
  -h, --help     this text

index (tab-separated, one header line):
  point r theta phi alpha beta gamma status name contacts min_distance message
  r..gamma are the point's requested values; status is ok or a stop code
  (user_value for a value ud-kavor refuses; the pair's own stop otherwise);
  contacts counts the pairs at or below 1.9 Angstrom; min_distance is the
  shortest intermolecular distance (empty in a pair of many thousand atoms
  when no pair is closer than max(2, D) Angstrom).

example:
  kavor-batch build pair/UD-input-GEOMETRY.xyz --r 3:6:0.5 --theta 0:180:15 \
      --phi 0 --alpha 0:350:10 --beta 90 --gamma 0 --skip-contacts \
      --xyz scan.xyz -o scan.tsv
)";

const char* const kParameters[6] = {"r", "theta", "phi", "alpha", "beta", "gamma"};

// One grid axis: FROM + i STEP for i = 0.. while not past TO (a last value
// within a millionth of a step of TO counts), or a single value.
struct Axis {
  double from = 0.0, step = 0.0;
  long count = 0;
  double value(long i) const { return i == 0 ? from : from + static_cast<double>(i) * step; }
};

Axis parse_axis(const std::string& option, const std::string& text) {
  auto number = [&](const std::string& t) {
    double v = 0.0;
    if (!parse_fortran_real(t, v))
      throw UsageError{"--" + option + " takes a number or FROM:TO:STEP, not '" + text + "'"};
    return v;
  };
  Axis axis;
  const size_t a = text.find(':');
  if (a == std::string::npos) {
    axis.from = number(text);
    axis.count = 1;
    return axis;
  }
  const size_t b = text.find(':', a + 1);
  if (b == std::string::npos) throw UsageError{"--" + option + " takes FROM:TO:STEP, not '" + text + "'"};
  axis.from = number(text.substr(0, a));
  const double to = number(text.substr(a + 1, b - a - 1));
  axis.step = number(text.substr(b + 1));
  if (!(axis.step > 0.0) || to < axis.from)
    throw UsageError{"--" + option + " FROM:TO:STEP needs STEP > 0 and TO >= FROM, not '" + text + "'"};
  const double steps = std::floor((to - axis.from) / axis.step + 1e-6);
  if (steps > 1e12) throw UsageError{"--" + option + " '" + text + "' has too many values"};
  axis.count = static_cast<long>(steps) + 1;
  return axis;
}

// Points from a grid or, streamed, from a table.
class PointSource {
 public:
  virtual ~PointSource() = default;
  // Next point; false at the end. Throws InputError for a bad table line.
  virtual bool next(UserValues& v) = 0;
  virtual long total() = 0;
};

class GridPoints : public PointSource {
 public:
  explicit GridPoints(const Axis (&axes)[6]) {
    for (int k = 0; k < 6; ++k) axes_[k] = axes[k];
  }
  long total() override {
    long t = 1;
    for (const Axis& a : axes_) {
      if (a.count > 0 && t > (1L << 50) / a.count) throw UsageError{"the grid has too many points"};
      t *= a.count;
    }
    return t;
  }
  void seek(long index) { next_ = index; }
  bool next(UserValues& v) override {
    if (next_ >= total_cached()) return false;
    long rest = next_++;
    long idx[6];
    for (int k = 5; k >= 0; --k) {
      idx[k] = rest % axes_[k].count;
      rest /= axes_[k].count;
    }
    v = UserValues{axes_[0].value(idx[0]), axes_[1].value(idx[1]), axes_[2].value(idx[2]),
                   axes_[3].value(idx[3]), axes_[4].value(idx[4]), axes_[5].value(idx[5])};
    return true;
  }

 private:
  long total_cached() {
    if (total_ < 0) total_ = total();
    return total_;
  }
  Axis axes_[6];
  long next_ = 0;
  long total_ = -1;
};

class TablePoints : public PointSource {
 public:
  explicit TablePoints(std::string path) : path_(std::move(path)) { open(); }
  ~TablePoints() override { close(); }
  long total() override {
    // One pass over the table to count its points; the stream starts again.
    long count = 0;
    UserValues v;
    while (next(v)) ++count;
    lines_->seek(0, 0);
    seen_point_ = false;
    return count;
  }
  bool next(UserValues& v) override {
    std::string& line = line_;
    while (lines_->next(line)) {
      const long line_number = lines_->line_number();
      const size_t hash = line.find('#');
      if (hash != std::string::npos) line.erase(hash);
      std::string_view tokens[7];
      const int count = split_values(line, tokens, 7);
      if (count == 0) continue;
      if (!seen_point_ && tokens[0] == "r") continue;  // a header line
      double values[6];
      if (count != 6)
        throw InputError(path_ + ":" + std::to_string(line_number) +
                         ": expected the six values r theta phi alpha beta gamma, got " +
                         std::to_string(count == 7 ? 7 : count) + (count == 7 ? " or more" : ""));
      for (int k = 0; k < 6; ++k)
        if (!parse_fortran_real(tokens[k], values[k]))
          throw InputError(path_ + ":" + std::to_string(line_number) + ": expected " + kParameters[k] +
                           " (a finite number), got " + shown(tokens[k]));
      seen_point_ = true;
      v = UserValues{values[0], values[1], values[2], values[3], values[4], values[5]};
      return true;
    }
    return false;
  }

 private:
  void open() {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw InputError(path_ + ": cannot open the point table: " + std::strerror(errno));
    lines_ = std::make_unique<LineReader>(fd_, path_);
    seen_point_ = false;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string path_;
  int fd_ = -1;
  std::unique_ptr<LineReader> lines_;
  std::string line_;
  bool seen_point_ = false;
};

struct Options : CommonOptions {
  std::string input;
  bool has_axis[6] = {};
  Axis axes[6];
  std::string points;
  std::string xyz, dirs;
  bool skip_contacts = false;
  bool reports = false;
  bool force = false;
  double min_distance = kShortContact;
};

// Identity of an output path: the file it names (through links) or, for
// "-" and /dev/stdout, standard output; a path not yet there compares by its
// absolute form. Devices other than standard output (/dev/null) have none:
// any number of outputs may go there.
std::optional<std::string> output_identity(const std::string& path) {
  const bool standard = path.empty() || path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" ||
                        path == "/proc/self/fd/1";
  struct stat st;
  if (standard ? ::fstat(STDOUT_FILENO, &st) == 0 : ::stat(path.c_str(), &st) == 0) {
    if (S_ISCHR(st.st_mode) && !standard) return std::nullopt;
    return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }
  if (standard) return "standard output";
  std::error_code ec;
  return "path " + fs::weakly_canonical(fs::absolute(path, ec), ec).string();
}

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  for (const Argument& a : split_arguments(args, {"--skip-contacts", "--reports", "--force"},
                                           {"--r", "--theta", "--phi", "--alpha", "--beta", "--gamma",
                                            "--points", "--xyz", "--dirs", "--min-distance"})) {
    int parameter = -1;
    for (int k = 0; k < 6; ++k)
      if (a.name == std::string("--") + kParameters[k]) parameter = k;
    if (take_common_option(a, o)) {
    } else if (parameter >= 0) {
      o.axes[parameter] = parse_axis(kParameters[parameter], a.value);
      o.has_axis[parameter] = true;
    } else if (a.name == "--points") {
      o.points = a.value;
    } else if (a.name == "--xyz") {
      o.xyz = a.value;
    } else if (a.name == "--dirs") {
      o.dirs = a.value;
    } else if (a.name == "--skip-contacts") {
      o.skip_contacts = true;
    } else if (a.name == "--reports") {
      o.reports = true;
    } else if (a.name == "--force") {
      o.force = true;
    } else if (a.name == "--min-distance") {
      if (!parse_fortran_real(a.value, o.min_distance) || o.min_distance < 0)
        throw UsageError{"--min-distance takes a distance in Angstrom, not '" + a.value + "'"};
    } else if (o.input.empty()) {
      o.input = a.name;
    } else {
      throw UsageError{"build takes one FILE, got '" + o.input + "' and '" + a.name + "'"};
    }
  }
  if (o.help || o.version) return o;
  if (o.input.empty()) throw UsageError{"no input FILE given"};
  if (!o.xyz.empty() && output_identity(o.xyz) && output_identity(o.xyz) == output_identity(o.output))
    throw UsageError{"--xyz and the index (-o, or standard output) would be written to one place; give each its own"};
  int axes = 0;
  std::string missing;
  for (int k = 0; k < 6; ++k) {
    axes += o.has_axis[k];
    if (!o.has_axis[k]) missing += std::string(missing.empty() ? "" : ", ") + "--" + kParameters[k];
  }
  if (!o.points.empty() && axes > 0) throw UsageError{"give either --points or the grid options, not both"};
  if (o.points.empty() && axes < 6) throw UsageError{"the grid needs every parameter: missing " + missing};
  if (o.reports && o.dirs.empty()) throw UsageError{"--reports writes into the --dirs directories: give --dirs"};
  if (o.force && o.dirs.empty()) throw UsageError{"--force replaces the --dirs directory: give --dirs"};
  if (!o.points.empty() && (o.shard.active() || !o.dirs.empty())) {
    // --shard and --dirs need the number of points first, so the table is
    // read twice: it must be a file that reads the same again.
    struct stat st;
    if (o.points == "-" ||
        (::stat(o.points.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)))
      throw UsageError{"--points with --shard or --dirs reads the table twice; '" + o.points +
                       "' is a pipe or a device: save it to a file first"};
  }
  return o;
}

// The pair the points are placed on.
GeometryBlock read_pair(const Options& o, bool& too_many, std::ostream& err) {
  FrameReader reader(o.input, o.layout, o.n1_given());
  if (!reader.note().empty()) err << "kavor-batch: note: " << reader.note() << '\n';
  Frame frame;
  if (!reader.next(frame)) throw InputError(reader.source() + ": no frame to read");
  too_many = frame.too_many;
  if (!frame.has_n1 && !too_many) {
    if (o.n1_auto) {
      const LeadingFragment fragment = leading_fragment(frame.block);
      if (fragment.n1 == 0) throw InputError(reader.source() + ": --n1 auto: " + fragment.message);
      frame.block.n1 = fragment.n1;
    } else if (o.n1 >= 0) {
      frame.block.n1 = o.n1;
    } else {
      throw InputError(reader.source() + ": standard XYZ carries no N1: give --n1 N or --n1 auto");
    }
  }
  return frame.block;
}

// Extended XYZ comment value: numbers as they read back, names quoted.
void append_key(std::string& text, const char* key, double value) {
  text += ' ';
  text += key;
  text += '=';
  append_number(text, value);
}

struct PointJob {
  long number = 0;  // 1-based
  UserValues values;
  std::string row, frame;  // index row, --xyz frame
  bool failed_files = false;
  std::string error;
};

class Builder {
 public:
  // `dirs`: where the point folders go (the staged --dirs tree).
  Builder(const Options& o, const PlacementBase& base, long total, fs::path dirs)
      : o_(o),
        base_(base),
        dirs_(std::move(dirs)),
        digits_(static_cast<int>(std::to_string(std::max(total, 1L)).size())) {
    options_.min_distance_reach = std::max(2.0, o.min_distance);
    options_.list_contacts = o.reports;  // the report has a block per contact
    // A pair whose analysis stopped has no labels: its points all stop.
    for (const Label& label : base.labels()) {
      std::string symbol = label_text(label);
      while (!symbol.empty() && symbol.back() == ' ') symbol.pop_back();
      symbols_.push_back(symbol);
    }
  }

  void run(PointJob& job) const {
    thread_local PlacedPoint point;
    place_point(base_, job.values, point, options_);
    const UserValues& v = job.values;
    std::string& row = job.row;
    row.clear();
    row += std::to_string(job.number);
    for (double value : {v.r, v.theta, v.phi, v.alpha, v.beta, v.gamma}) {
      row += '\t';
      append_number(row, value);
    }
    row += '\t';
    row += status_name(point.status);
    row += '\t';
    const bool ok = point.status == Status::ok;
    const std::string name = ok ? point.names.name : std::string();
    row += name;
    row += '\t';
    if (ok) row += std::to_string(point.contacts);
    row += '\t';
    if (ok) append_number(row, point.min_distance);
    row += '\t';
    append_text(row, point.message);
    row += '\n';
    job.frame.clear();
    if (!ok) return;
    if (o_.skip_contacts && point.min_distance <= o_.min_distance) return;
    if (!o_.xyz.empty()) write_frame(job, point, name);
    if (!o_.dirs.empty()) write_directory(job, point);
  }

 private:
  void write_frame(PointJob& job, const PlacedPoint& point, const std::string& name) const {
    std::string& f = job.frame;
    const UserValues& v = job.values;
    f += std::to_string(base_.n());
    f += "\nProperties=species:S:1:pos:R:3 point=";
    f += std::to_string(job.number);
    append_key(f, "r", v.r);
    append_key(f, "theta", v.theta);
    append_key(f, "phi", v.phi);
    append_key(f, "alpha", v.alpha);
    append_key(f, "beta", v.beta);
    append_key(f, "gamma", v.gamma);
    f += " contacts=" + std::to_string(point.contacts);
    if (std::isfinite(point.min_distance)) append_key(f, "min_distance", point.min_distance);
    f += " name=\"" + name + "\" pbc=\"F F F\"\n";
    for (int i = 0; i < base_.n(); ++i) {
      const Atom& a = point.atoms[i];
      // The coordinates exactly as ud-kavor's input-GEOMETRY.xyz shows them.
      const std::string line = atomic_number_line(a);
      const std::string& symbol = a.znum == 0.0 || symbols_[i].empty() ? kUnknown : symbols_[i];
      f += symbol;
      if (symbol.size() < 2) f += ' ';
      f.append(line, 2, std::string::npos);
      f += '\n';
    }
  }

  void write_directory(PointJob& job, const PlacedPoint& point) const {
    std::string number = std::to_string(job.number);
    number.insert(0, static_cast<size_t>(std::max(0, digits_ - static_cast<int>(number.size()))), '0');
    const fs::path dir = dirs_ / number;
    try {
      // One level only: a tree removed on a signal is never made again.
      std::error_code ec;
      fs::create_directory(dir, ec);
      if (ec) throw OutputError("cannot create directory '" + dir.string() + "': " + ec.message());
      const int n = base_.n();
      OutputFile input, geometry, bild;
      const bool found = point.contacts > 0;
      input.open(dir / "input-GEOMETRY.xyz");
      geometry.open(dir / (found ? point.names.short_geometry : point.names.geometry));
      bild.open(dir / (found ? point.names.short_bild : point.names.bild));
      write_placed_input(input, point.atoms, base_.n1());
      write_bild(bild, point.drawn_centre, point.drawn_centre, point.drawn);
      write_geometry(geometry, n, point.atoms, base_.labels(), Mode::builder);
      if (o_.reports) write_report(dir, point);
      input.commit();
      geometry.commit();
      bild.commit();
    } catch (const OutputError& e) {
      job.failed_files = true;
      job.error = e.what();
    }
  }

  // ud-kavor's report: the analysis part, the same for every point, then
  // the point's placement sections and summary.
  void write_report(const fs::path& dir, const PlacedPoint& point) const {
    std::string text = base_.report_opening();
    std::ostringstream console;
    Session s(console, dir, Mode::builder);
    s.write_files = false;
    s.report.send_to_text(&text);
    s.report.open();
    write_placement_opening(s);
    for (const ContactPair& p : point.contact_pairs) report_short_contact(s, p, base_.labels());
    write_placement_closing(s);
    write_builder_summary(s, point.r,
                          SummaryDegrees{point.theta_deg, point.phi_deg, point.alpha_deg,
                                         point.beta_deg, point.gamma_deg});
    OutputFile report;
    report.open(dir / "UD-LOG-PARAM.txt");
    text.pop_back();  // OutputFile ends the last line itself
    report.line(text);
    report.commit();
  }

  inline static const std::string kUnknown = "X";
  const Options& o_;
  const PlacementBase& base_;
  fs::path dirs_;
  int digits_;
  PlaceOptions options_;
  std::vector<std::string> symbols_;
};

}  // namespace

int run_build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parse_options(args);
  if (o.help || o.version) {
    write_text(out, o.help ? kHelp : kVersion);
    return 0;
  }
  const fs::path dirs = o.dirs.empty() ? fs::path() : output_tree_target("--dirs", o.dirs, o.force);
  bool too_many = false;
  const GeometryBlock block = read_pair(o, too_many, err);
  PlacementBase base(block, too_many, o.reports);
  base.prepare_contacts(std::max(2.0, o.min_distance));

  std::unique_ptr<PointSource> points;
  GridPoints* grid = nullptr;
  if (o.points.empty()) {
    auto g = std::make_unique<GridPoints>(o.axes);
    grid = g.get();
    points = std::move(g);
  } else {
    points = std::make_unique<TablePoints>(o.points);
  }
  // A table is counted only when the count is needed (a table on a pipe
  // is then read once).
  const bool counted = grid != nullptr || o.shard.active() || !o.dirs.empty();
  const long total = counted ? points->total() : 0;
  const long first = o.shard.first(total), last = counted ? o.shard.last(total) : LONG_MAX;

  TableSink index(o.output, out);
  std::unique_ptr<TableSink> xyz;
  if (!o.xyz.empty()) xyz = std::make_unique<TableSink>(o.xyz, out);
  // The point folders are written into a hidden sibling of DIR, which takes
  // DIR's place when the scan is complete.
  OutputTree tree;
  if (!dirs.empty()) tree.open(dirs, o.force);
  index.write("point\tr\ttheta\tphi\talpha\tbeta\tgamma\tstatus\tname\tcontacts\tmin_distance\tmessage\n");

  const Builder builder(o, base, total, tree.path());
  // Chunks small enough that their placed pairs stay a few million atoms.
  const size_t per_thread = static_cast<size_t>(std::clamp(1000000L / std::max(base.n(), 1), 1L, 4096L));
  // Slots are made as points arrive: a short scan on many threads holds
  // only its own points.
  const size_t chunk_size = per_thread * static_cast<size_t>(o.jobs);
  std::vector<PointJob> jobs;
  Progress progress("points");
  int status = 0;
  size_t pending = 0;
  auto flush = [&] {
    parallel_for(o.jobs, pending, [&](size_t i) { builder.run(jobs[i]); });
    std::string rows, frames;
    ErrorLines errors;
    for (size_t i = 0; i < pending; ++i) {
      rows += jobs[i].row;
      frames += jobs[i].frame;
      if (jobs[i].failed_files) errors.add(jobs[i].error);
    }
    if (!errors.empty()) {
      progress.clear();
      errors.write(err, "points");
      status = 2;
    }
    index.write(rows);
    if (xyz) xyz->write(frames);
    progress.advance(pending);
    pending = 0;
    if (status != 0) throw OutputError("stopped after a point whose files could not be written");
  };

  if (grid != nullptr) grid->seek(first);
  long number = grid != nullptr ? first : 0;
  UserValues v;
  try {
    while (number < last && points->next(v)) {
      ++number;
      if (number <= first) continue;  // a table is read from its start
      if (pending == jobs.size()) jobs.emplace_back();
      PointJob& job = jobs[pending];
      job.number = number;
      job.values = v;
      job.failed_files = false;
      if (++pending == chunk_size) flush();
    }
    flush();
  } catch (const OutputError& e) {
    progress.clear();
    if (status == 0) err << "kavor-batch: error: " << e.what() << '\n';
    return 2;
  }
  progress.finish();
  // Every output of the scan or none: the tree, then the --xyz file and the
  // index file.
  OutputStage outputs;
  outputs.add(tree);
  if (xyz) xyz->stage_into(outputs);
  index.stage_into(outputs);
  outputs.publish();
  return status;
}

}  // namespace kavor::batch
