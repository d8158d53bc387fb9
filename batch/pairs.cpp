// kavor-batch pairs: the pairs of neighbouring molecules of crystals,
// periodic boxes and clusters, one analysed row per pair.
#include <cmath>
#include <functional>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "batch/frames.hpp"
#include "batch/table.hpp"
#include "core/analysis.hpp"
#include "core/crystal.hpp"
#include "core/errors.hpp"
#include "core/periodic.hpp"
#include "core/reader.hpp"

namespace kavor::batch {

namespace {

namespace fs = std::filesystem;

const char* const kHelp = R"(usage: kavor-batch pairs [options] FILE...

Finds the molecules of every frame (bonded fragments, over every periodic
image) and the pairs of neighbouring molecules, and writes one table row
per pair: the six placement parameters of molecule 1 relative to molecule 2,
exactly as kavor analyses the pair's geometry (molecule 1's atoms, then
molecule 2's, each molecule whole and in input order).

FILE is an extended XYZ file (Lattice="ax ay az bx by bz cx cy cz", the rows
a, b, c as ASE writes them; pbc="T T T", the default with a Lattice),
a plain XYZ file (a finite cluster, no cell), a CIF file of a small-molecule
crystal (cell, symmetry operations, fractional sites: the unit cell is
filled from them) or - for standard input.

options:
  --contact D    pairs whose closest intermolecular atom-atom distance is
                 at most D Angstrom (default 3.8)
  --com D        pairs whose centres of mass are at most D Angstrom apart
                 (instead of --contact)
  --ordered      every pair also with the roles of the molecules swapped
  --unique       equivalent pairs (same formulas in order, r within 0.01
                 Angstrom, angles within 0.1 degree) as one row with a count
  --extract DIR  DIR/<row number>/input-GEOMETRY.xyz per row: the pair in
                 kavor's layout, molecule 1 first, ready for kavor; DIR
                 must be absent or empty, and appears when the run is done
  --force        replace an --extract DIR that is not empty
  --xyz FILE     the pairs as one extended XYZ, one frame per row, the row's
                 values in the comment line (neither writes not_molecular rows)
  --format F     auto (default: .cif files are CIF), xyz, cif or kavor
  -o FILE        write the table to FILE (it appears only when complete)
  --jobs N       threads, 1 to 1024 (default: the machine's cores)
  --shard K/N    take the K-th of N equal contiguous shares of all frames
  -h, --help     this text

table (tab-separated, one header line):
  source frame mol1 mol2 shift com_distance contact status r theta phi
  alpha beta gamma name message (and count with --unique)
  molecules are numbered from 1 by their first atom; molecule 2 is moved
  by shift "na nb nc" lattice vectors; distances in Angstrom, angles in
  degrees; status is ok or a stop code as in analyze, or not_molecular
  when a molecule is bonded to its own periodic image (a chain or network)

example:
  kavor-batch pairs --unique -o dimers.tsv crystal.cif
)";

struct Options : CommonOptions {
  std::vector<std::string> inputs;
  PairCriterion criterion;
  bool unique = false;
  bool cif = false;  // --format cif
  bool force = false;  // --force: replace a non-empty --extract DIR
  std::string extract, xyz;
};

double parse_distance(const std::string& option, const std::string& text) {
  double value = 0.0;
  if (!parse_fortran_real(text, value) || !(value > 0.0) || value > 1e4)
    throw UsageError{option + " takes a distance in Angstrom above 0, not '" + text + "'"};
  return value;
}

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  bool contact = false;
  for (const Argument& a :
       split_arguments(args, {"--ordered", "--unique", "--force"}, {"--contact", "--com", "--extract", "--xyz"})) {
    if (a.name == "--contact") {
      o.criterion.distance = parse_distance(a.name, a.value);
      contact = true;
    } else if (a.name == "--com") {
      o.criterion.distance = parse_distance(a.name, a.value);
      o.criterion.by_com = true;
    } else if (a.name == "--ordered") {
      o.criterion.ordered = true;
    } else if (a.name == "--unique") {
      o.unique = true;
    } else if (a.name == "--force") {
      o.force = true;
    } else if (a.name == "--extract") {
      o.extract = a.value;
    } else if (a.name == "--xyz") {
      o.xyz = a.value;
    } else if (a.name == "--format" && a.value == "cif") {
      o.cif = true;
    } else if (a.name == "--n1") {
      throw UsageError{"pairs finds the molecules itself: --n1 has no meaning here"};
    } else if (take_common_option(a, o)) {
      continue;
    } else if (a.option) {
      throw UsageError{"unknown option " + a.name};
    } else {
      o.inputs.push_back(a.name);
    }
  }
  if (contact && o.criterion.by_com) throw UsageError{"--contact and --com cannot be given together"};
  if (o.force && o.extract.empty()) throw UsageError{"--force replaces the --extract directory: give --extract"};
  if (!o.help && !o.version && o.inputs.empty()) throw UsageError{"no input FILE given"};
  return o;
}

bool is_cif(const Options& o, const std::string& path) {
  if (o.cif) return true;
  if (o.layout != Layout::automatic) return false;
  const std::string ext = fs::path(path).extension().string();
  return ext == ".cif" || ext == ".CIF";
}

// Standard XYZ unless named as the programs' input or given as a directory:
// an extended XYZ comment line that starts with a Lattice would otherwise
// look like an atom line of kavor's layout.
Layout layout_of(const std::string& path) {
  if (path == "-") return Layout::xyz;
  const std::string name = fs::path(path).filename().string();
  std::error_code ec;
  if (name == "input-GEOMETRY.xyz" || name == "UD-input-GEOMETRY.xyz" || fs::is_directory(path, ec))
    return Layout::automatic;
  return Layout::xyz;
}

// A crystal read from a CIF file as a periodic structure.
Structure structure_of(const Crystal& crystal, const std::string& where) {
  Structure s;
  const auto& r = crystal.cell;
  Cell cell{{r[0][0], r[0][1], r[0][2]}, {r[1][0], r[1][1], r[1][2]}, {r[2][0], r[2][1], r[2][2]}};
  if (const std::string problem = cell_problem(cell); !problem.empty()) throw InputError(where + ": " + problem);
  s.cell = cell;
  for (const CrystalAtom& a : crystal.atoms) {
    s.labels.push_back(make_label(a.symbol));
    Atom atom;
    atom.x = a.x;
    atom.y = a.y;
    atom.z = a.z;
    s.atoms.push_back(atom);
  }
  return s;
}

// The value of `key` in an extended XYZ comment line ("key=value" or
// key="a b c"); nullopt when absent.
std::optional<std::string> comment_value(const std::string& comment, const std::string& key) {
  size_t i = 0;
  while (i < comment.size()) {
    while (i < comment.size() && (comment[i] == ' ' || comment[i] == '\t')) ++i;
    size_t start = i;
    while (i < comment.size() && comment[i] != '=' && comment[i] != ' ' && comment[i] != '\t') ++i;
    const std::string name = comment.substr(start, i - start);
    std::string value;
    if (i < comment.size() && comment[i] == '=') {
      ++i;
      if (i < comment.size() && (comment[i] == '"' || comment[i] == '\'')) {
        const char quote = comment[i++];
        const size_t end = comment.find(quote, i);
        value = comment.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? comment.size() : end + 1;
      } else {
        start = i;
        while (i < comment.size() && comment[i] != ' ' && comment[i] != '\t') ++i;
        value = comment.substr(start, i - start);
      }
    }
    if (name.size() == key.size() &&
        std::equal(name.begin(), name.end(), key.begin(),
                   [](char x, char y) { return std::tolower(x) == std::tolower(y); }))
      return value;
  }
  return std::nullopt;
}

// The cell of an extended XYZ frame; nullopt for a finite cluster. Throws
// InputError (without the file's name) for a cell that cannot be used.
std::optional<Cell> cell_of_comment(const std::string& comment) {
  const auto lattice = comment_value(comment, "Lattice");
  const auto pbc = comment_value(comment, "pbc");
  if (!lattice) {
    if (pbc && pbc->find_first_of("Tt1") != std::string::npos)
      throw InputError("pbc=\"" + *pbc + "\" is periodic but there is no Lattice");
    return std::nullopt;
  }
  std::string_view v[10];
  const int count = split_values(*lattice, v, 10);
  double x[9];
  if (count != 9)
    throw InputError("Lattice needs 9 numbers (a, b, c), got " + std::to_string(count) +
                     (count == 10 ? " or more" : ""));
  for (int k = 0; k < 9; ++k)
    if (!parse_fortran_real(v[k], x[k])) throw InputError("Lattice holds " + shown(v[k]) + ", not a number");
  Cell cell;
  cell.a = {x[0], x[1], x[2]};
  cell.b = {x[3], x[4], x[5]};
  cell.c = {x[6], x[7], x[8]};
  if (pbc) {
    std::string_view f[4];
    const int n = split_values(*pbc, f, 4);
    if (n == 1 && (f[0] == "T" || f[0] == "F")) {
      cell.pbc = {f[0] == "T", f[0] == "T", f[0] == "T"};
    } else if (n == 3) {
      for (int k = 0; k < 3; ++k) {
        if (f[k] != "T" && f[k] != "F" && f[k] != "True" && f[k] != "False")
          throw InputError("pbc takes three T or F, not \"" + *pbc + "\"");
        cell.pbc[k] = f[k][0] == 'T';
      }
    } else {
      throw InputError("pbc takes three T or F, not \"" + *pbc + "\"");
    }
  }
  if (const std::string problem = cell_problem(cell); !problem.empty()) throw InputError(problem);
  return cell;
}

// One frame of the run and the pairs found in it.
struct FrameJob {
  std::string source;
  long frame = 0;
  Structure structure;
  std::string error;  // the frame could not be read or used
  bool reported = false;  // the error is on standard error already
  std::vector<Molecule> molecules;
  std::vector<MoleculePair> pairs;
};

struct PairJob {
  const FrameJob* frame = nullptr;
  const MoleculePair* pair = nullptr;
  PairResult result;
  std::string row;       // without the line end
  std::string geometry;  // kavor's input layout, with --extract
  std::string xyz;       // an extended XYZ frame, with --xyz
};

std::string trimmed(const Label& label) {
  std::string text = label_text(label);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string shift_text(const Shift& n) {
  return std::to_string(n[0]) + " " + std::to_string(n[1]) + " " + std::to_string(n[2]);
}

// A table row without its line end; with no pair (a frame that could not
// be read or used) the pair's fields are empty.
std::string table_row(const std::string& source, long frame, const MoleculePair* p, const PairResult& a) {
  double v[6];
  table_values(a, v);
  std::string row;
  append_text(row, source);
  row += '\t' + std::to_string(frame) + '\t';
  if (p) {
    row += std::to_string(p->mol1 + 1) + '\t' + std::to_string(p->mol2 + 1) + '\t' + shift_text(p->shift) + '\t';
    append_number(row, p->com_distance);
    row += '\t';
    append_number(row, p->contact);
    row += '\t';
  } else {
    row += "\t\t\t\t\t";
  }
  row += status_name(a.status);
  for (double value : v) {
    row += '\t';
    append_number(row, value);
  }
  row += '\t';
  if (a.ok()) row += a.name;
  row += '\t';
  append_text(row, a.message);
  return row;
}

void run_pair(PairJob& job, const Options& o) {
  const FrameJob& f = *job.frame;
  const MoleculePair& p = *job.pair;
  job.result = analyse_molecule_pair(f.structure, f.molecules, p);
  const PairResult& a = job.result;
  job.row = table_row(f.source, f.frame, &p, a);
  double v[6];
  table_values(a, v);

  job.geometry.clear();
  job.xyz.clear();
  if ((o.extract.empty() && o.xyz.empty()) || a.status == Status::not_molecular) return;
  const GeometryBlock block = pair_geometry(f.structure, f.molecules, p);
  std::string atoms;
  for (int i = 0; i < block.n; ++i) {
    const Atom& atom = block.icoo_and_m[i];
    atoms += trimmed(block.isymbol[i]);
    for (double c : {atom.x, atom.y, atom.z}) {
      atoms += ' ';
      append_number(atoms, c);
    }
    atoms += '\n';
  }
  std::string where;
  append_text(where, "source=" + f.source + " frame=" + std::to_string(f.frame) + " mol1=" +
                         std::to_string(p.mol1 + 1) + " mol2=" + std::to_string(p.mol2 + 1) + " shift=" +
                         shift_text(p.shift));
  if (!o.extract.empty())
    job.geometry = std::to_string(block.n) + "\n" + atoms + where + "\n" + std::to_string(block.n1) + "\n";
  if (!o.xyz.empty()) {
    std::string& x = job.xyz;
    x = std::to_string(block.n) + "\nProperties=species:S:1:pos:R:3 source=\"";
    append_text(x, f.source);
    x += "\" frame=" + std::to_string(f.frame) + " mol1=" + std::to_string(p.mol1 + 1) +
         " mol2=" + std::to_string(p.mol2 + 1) + " shift=\"" + shift_text(p.shift) + "\" n1=" +
         std::to_string(block.n1) + " com_distance=";
    append_number(x, p.com_distance);
    x += " contact=";
    append_number(x, p.contact);
    x += " status=";
    x += status_name(a.status);
    static const char* const kKeys[6] = {"r", "theta", "phi", "alpha", "beta", "gamma"};
    for (int k = 0; k < 6; ++k)
      if (std::isfinite(v[k])) {
        x += ' ';
        x += kKeys[k];
        x += '=';
        append_number(x, v[k]);
      }
    if (a.ok()) x += " name=\"" + a.name + "\"";
    x += " pbc=\"F F F\"\n" + atoms;
  }
}

// --unique: a kept row and the rows that joined it.
struct Kept {
  std::string row, geometry, xyz;
  Status status;
  std::string formula1, formula2;
  double v[6];
  long count = 1;
};

bool same_angle(double a, double b, bool full_turn) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  double d = std::fabs(a - b);
  if (full_turn) {
    d = std::fmod(d, 360.0);
    d = std::min(d, 360.0 - d);
  }
  return d <= 0.1;
}

bool joins(const Kept& k, const PairJob& job, const double* v) {
  const FrameJob& f = *job.frame;
  if (k.status != job.result.status || k.formula1 != f.molecules[job.pair->mol1].formula ||
      k.formula2 != f.molecules[job.pair->mol2].formula)
    return false;
  if (!job.result.ok()) return true;
  if (!(std::fabs(k.v[0] - v[0]) <= 0.01)) return false;
  static const bool kFullTurn[6] = {false, false, true, true, false, true};
  for (int c = 1; c < 6; ++c)
    if (!same_angle(k.v[c], v[c], kFullTurn[c])) return false;
  return true;
}

class Writer {
 public:
  Writer(const Options& o, std::ostream& out) : o_(o), table_(o.output, out) {
    if (!o.xyz.empty()) xyz_ = std::make_unique<TableSink>(o.xyz, out);
    // The row folders go into a hidden sibling of DIR, which takes DIR's
    // place when the run is complete.
    if (!o.extract.empty()) tree_.open(output_tree_target("--extract", o.extract, o.force), o.force);
    table_.write(
        "source\tframe\tmol1\tmol2\tshift\tcom_distance\tcontact\tstatus\tr\ttheta\tphi\talpha\tbeta\tgamma\tname\t"
        "message" +
        std::string(o.unique ? "\tcount" : "") + "\n");
  }

  void add(const PairJob& job) {
    if (!o_.unique) {
      emit(job.row, job.geometry, job.xyz);
      return;
    }
    double v[6];
    table_values(job.result, v);
    for (Kept& k : kept_)
      if (joins(k, job, v)) {
        ++k.count;
        return;
      }
    Kept k;
    k.row = job.row;
    k.geometry = job.geometry;
    k.xyz = job.xyz;
    k.status = job.result.status;
    k.formula1 = job.frame->molecules[job.pair->mol1].formula;
    k.formula2 = job.frame->molecules[job.pair->mol2].formula;
    std::copy(v, v + 6, k.v);
    kept_.push_back(std::move(k));
  }

  // A frame that could not be read or used: a row with its status.
  void add_unreadable(const std::string& source, long frame, const std::string& message) {
    PairResult unreadable;
    unreadable.status = Status::unreadable;
    unreadable.message = message;
    const std::string row = table_row(source, frame, nullptr, unreadable);
    if (o_.unique) {
      Kept k;
      k.row = row;
      k.status = Status::unreadable;
      std::fill(k.v, k.v + 6, NAN);
      kept_.push_back(std::move(k));  // never joined: no pair has this status
      return;
    }
    emit(row, {}, {});
  }

  // Publishes everything; throws OutputError.
  void close() {
    for (const Kept& k : kept_) emit(k.row + "\t" + std::to_string(k.count), k.geometry, k.xyz);
    kept_.clear();
    // Every output of the run or none: the folders, then the --xyz file,
    // then the table.
    OutputStage outputs;
    outputs.add(tree_);
    if (xyz_) xyz_->stage_into(outputs);
    table_.stage_into(outputs);
    outputs.publish();
  }

 private:
  void emit(const std::string& row, const std::string& geometry, const std::string& xyz) {
    ++rows_;
    table_.write(row + "\n");
    if (xyz_ && !xyz.empty()) xyz_->write(xyz);
    if (!o_.extract.empty() && !geometry.empty()) {
      const fs::path dir = tree_.path() / std::to_string(rows_);
      std::error_code ec;
      fs::create_directory(dir, ec);
      if (ec) throw OutputError("cannot create directory '" + dir.string() + "': " + ec.message());
      OutputFile file;
      file.open(dir / "input-GEOMETRY.xyz");
      file.lines(geometry);
      file.commit();
    }
  }

  const Options& o_;
  TableSink table_;
  std::unique_ptr<TableSink> xyz_;
  OutputTree tree_;
  std::vector<Kept> kept_;
  long rows_ = 0;
};

// Frames one at a time from every FILE, CIF or XYZ.
class FrameSource {
 public:
  // `counting`: frames of XYZ files are checked as they would be read but
  // their atoms are not kept (the counting pass of --shard).
  FrameSource(const Options& o, std::function<void(const std::string&)> report, bool counting = false)
      : o_(o), report_(std::move(report)), counting_(counting) {}

  // The next frame into `job`; false when every FILE is done.
  bool next(FrameJob& job) {
    while (true) {
      job.reported = false;
      if (!cif_.empty()) {
        job.source = source_;
        job.frame = ++frame_;
        job.error.clear();
        job.structure = std::move(cif_.front());
        cif_.erase(cif_.begin());
        return true;
      }
      if (reader_) {
        Frame frame;
        job.error.clear();
        bool got = false;
        try {
          got = counting_ ? reader_->skip(true) : reader_->next(frame);
        } catch (const InputError& e) {
          report_(e.what());
          job.source = reader_->source();
          job.frame = ++frame_;
          job.error = e.what();
          job.reported = true;
          job.structure = Structure{};
          reader_.reset();
          return true;
        }
        if (got) {
          job.source = reader_->source();
          job.frame = ++frame_;
          job.structure = Structure{};
          if (counting_) return true;
          if (frame.too_many) {
            job.error = job.source + ": frame " + std::to_string(job.frame) + ": more than 150000 atoms";
            return true;
          }
          job.structure.labels = std::move(frame.block.isymbol);
          job.structure.atoms = std::move(frame.block.icoo_and_m);
          try {
            if (!frame.has_n1) job.structure.cell = cell_of_comment(frame.comment);
          } catch (const InputError& e) {
            job.error = job.source + ": frame " + std::to_string(job.frame) + ": " + e.what();
            job.reported = true;
            report_(job.error);
          }
          return true;
        }
        reader_.reset();
      }
      if (next_input_ >= o_.inputs.size()) return false;
      const std::string& input = o_.inputs[next_input_++];
      frame_ = 0;
      source_ = input;
      if (is_cif(o_, input)) {
        try {
          for (const Crystal& crystal : read_cif(input))
            cif_.push_back(structure_of(crystal, input + ": data_" + crystal.block));
        } catch (const InputError& e) {
          cif_.clear();
          report_(e.what());
          job.source = input;
          job.frame = 1;
          job.error = e.what();
          job.reported = true;
          job.structure = Structure{};
          return true;
        }
      } else {
        try {
          reader_ = std::make_unique<FrameReader>(input, o_.layout == Layout::automatic ? layout_of(input) : o_.layout);
        } catch (const InputError& e) {
          report_(e.what());
        }
      }
    }
  }

 private:
  const Options& o_;
  std::function<void(const std::string&)> report_;
  bool counting_;
  size_t next_input_ = 0;
  std::string source_;
  long frame_ = 0;
  std::vector<Structure> cif_;
  std::unique_ptr<FrameReader> reader_;
};

}  // namespace

int run_pairs(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parse_options(args);
  if (o.help || o.version) {
    write_text(out, o.help ? kHelp : kVersion);
    return 0;
  }
  int status = 0;
  bool counting = false;
  Progress progress("pairs");
  auto report = [&](const std::string& message) {
    if (counting) return;
    progress.clear();
    err << "kavor-batch: error: " << message << '\n';
    status = 2;
  };

  long first = 0, last = -1;
  if (o.shard.active()) {
    for (const std::string& input : o.inputs) check_rereadable(input);
    counting = true;
    FrameSource counter(o, report, true);
    FrameJob job;
    long total = 0;
    while (counter.next(job)) ++total;
    counting = false;
    first = o.shard.first(total);
    last = o.shard.last(total);
  }

  Writer writer(o, out);
  FrameSource source(o, report);
  // Frames are taken a chunk at a time, up to 256 per thread and about
  // 20000 atoms (a box's pairs are spread over the threads), so memory stays
  // flat along a trajectory whatever the size of its frames.
  const size_t chunk_frames = 256 * static_cast<size_t>(o.jobs);
  constexpr long kChunkAtoms = 20000;
  std::vector<FrameJob> frames;  // slots made as frames arrive
  std::vector<PairJob> pairs;
  size_t pending = 0;
  long pending_atoms = 0;
  auto flush = [&] {
    parallel_for(o.jobs, pending, [&](size_t i) {
      FrameJob& f = frames[i];
      f.molecules.clear();
      f.pairs.clear();
      if (!f.error.empty()) return;
      try {
        f.molecules = find_molecules(f.structure);
        f.pairs = find_pairs(f.structure, f.molecules, o.criterion);
      } catch (const InputError& e) {
        f.error = f.source + ": frame " + std::to_string(f.frame) + ": " + e.what();
      }
    });
    pairs.clear();
    for (size_t i = 0; i < pending; ++i)
      for (const MoleculePair& p : frames[i].pairs) {
        PairJob job;
        job.frame = &frames[i];
        job.pair = &p;
        pairs.push_back(std::move(job));
      }
    parallel_for(o.jobs, pairs.size(), [&](size_t k) { run_pair(pairs[k], o); });
    size_t k = 0;
    for (size_t i = 0; i < pending; ++i) {
      if (!frames[i].error.empty()) {
        if (!frames[i].reported) report(frames[i].error);
        writer.add_unreadable(frames[i].source, frames[i].frame, frames[i].error);
      }
      for (; k < pairs.size() && pairs[k].frame == &frames[i]; ++k) writer.add(pairs[k]);
    }
    progress.advance(pairs.size());
    pairs = std::vector<PairJob>();  // a large box's pairs go back
    for (size_t i = 0; i < pending; ++i) frames[i] = FrameJob{};
    pending = 0;
    pending_atoms = 0;
  };

  long global = 0;
  while (true) {
    if (pending == frames.size()) frames.emplace_back();
    FrameJob& job = frames[pending];
    if (!source.next(job)) break;
    const long index = global++;
    if (o.shard.active() && (index < first || index >= last)) continue;
    pending_atoms += static_cast<long>(job.structure.atoms.size());
    if (++pending == chunk_frames || pending_atoms >= kChunkAtoms) flush();
  }
  flush();
  progress.finish();
  try {
    writer.close();
  } catch (const OutputError& e) {
    report(e.what());
  }
  return status;
}

}  // namespace kavor::batch
