// kavor-batch analyze: one table row per frame.
#include <algorithm>
#include <climits>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch.hpp"
#include "batch/frames.hpp"
#include "batch/table.hpp"
#include "core/analysis.hpp"
#include "core/errors.hpp"
#include "core/euler.hpp"

namespace kavor::batch {

namespace {

const char* const kHelpHead = R"(usage: kavor-batch analyze [options] FILE...

Analyses every pair geometry in the FILEs and writes one table row per frame:
the six placement parameters of molecule 1 relative to molecule 2, exactly as
kavor computes them.

FILE is a file in kavor's input layout (input-GEOMETRY.xyz; the geometry
block of a UD-input-GEOMETRY.xyz), a standard XYZ file with one or more
frames (count line, comment line, atom lines; extended XYZ is fine), a
directory (its input-GEOMETRY.xyz), or - for standard input.

options:
  --n1 N        molecule 1 is the first N atoms of every standard XYZ frame
  --n1 auto     molecule 1 is the covalently bonded fragment that contains the
                first atom; it must be the leading block of atoms
                (kavor's layout carries N1 itself)
  --format F    auto (default), kavor or xyz: the layout of the FILEs
  -o FILE       write the table to FILE (it appears only when complete)
                instead of standard output
  --jobs N      threads, 1 to 1024 (default: the machine's cores)
  --shard K/N   take the K-th of N equal contiguous shares of all frames
  -h, --help    this text
  --version     the version

table (tab-separated, one header line):
)";

struct Job {
  std::string source;
  long frame = 0;
  Frame data;
  std::string error;  // the frame could not be read
};

// The table's columns in order: the header's name and how a row's field is
// written (tab-separated; a NaN value is an empty field).
struct Column {
  std::string_view name;
  void (*append)(std::string& row, const Job& job, const Analysis& a);
};
constexpr Column kColumns[] = {
    {"source",
     [](std::string& row, const Job& job, const Analysis&) { append_text(row, job.source); }},
    {"frame",
     [](std::string& row, const Job& job, const Analysis&) { row += std::to_string(job.frame); }},
    {"status",
     [](std::string& row, const Job&, const Analysis& a) { row += status_name(a.status); }},
    {"r", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.r); }},
    {"theta", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.theta); }},
    {"phi", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.phi); }},
    {"alpha", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.alpha); }},
    {"beta", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.beta); }},
    {"gamma", [](std::string& row, const Job&, const Analysis& a) { append_number(row, a.gamma); }},
    {"name", [](std::string& row, const Job&, const Analysis& a) { row += a.name; }},
    {"message",
     [](std::string& row, const Job&, const Analysis& a) { append_text(row, a.message); }},
};

const char* const kHelpColumns =
    R"(  frame counts from 1 in each source; r in Angstrom, angles in degrees;
  an undefined angle (NAD) is empty; status is ok or a stop code:
)";

const char* const kHelpTail = R"(
example:
  kavor-batch analyze --n1 auto -o placements.tsv trajectory.xyz
)";

// The help, with the stop codes an analysis row can carry, from the table.
std::string help_text() {
  std::string codes;
  for (const StatusInfo& info : status_codes())
    if (info.batch && info.status != Status::ok) codes.append(info.name).push_back(' ');
  codes.pop_back();
  std::string columns;
  for (const Column& column : kColumns) columns.append(column.name).push_back(' ');
  columns.pop_back();
  return kHelpHead + wrap_words(columns, "  ", 72) + kHelpColumns + wrap_words(codes, "  ", 72) +
         kHelpTail;
}

// N1 of a standard XYZ frame: n1_auto, or fixed_n1 (never -1 here).
void analyse_job(Job& job, bool n1_auto, int fixed_n1, std::string& row) {
  Analysis a;
  if (!job.error.empty()) {
    a.status = Status::unreadable;
    a.message = job.error;
  } else {
    // kavor's layout carries N1; standard XYZ takes --n1 N or the bonds.
    std::optional<int> n1;
    if (job.data.has_n1) n1 = job.data.block.n1;
    else if (!n1_auto) n1 = fixed_n1;
    a = public_analysis(analyse_frame(job.data.block, n1));
  }
  row.clear();
  for (const Column& column : kColumns) {
    column.append(row, job, a);
    row += '\t';
  }
  row.back() = '\n';
}

struct Options : CommonOptions {
  std::vector<std::string> inputs;
};

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  for (const Argument& a : split_arguments(args, {}, {})) {
    if (take_common_option(a, o)) continue;
    o.inputs.push_back(a.name);
  }
  if (!o.help && !o.version && o.inputs.empty()) throw UsageError{"no input FILE given"};
  return o;
}

// What the counting pass of --shard learnt about one input.
struct InputFrames {
  long frames = 0;                   // rows it gives (an unreadable frame included)
  bool ends_unreadable = false;      // its last row is an unreadable frame
  std::vector<FramePosition> marks;  // where frames 0, kMarkEvery, 2 kMarkEvery, ... start
};
// Frames between two marks: a share starts reading at most this many
// frames before its first.
constexpr long kMarkEvery = 4096;

}  // namespace

int run_analyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parse_options(args);
  if (o.help || o.version) {
    write_text(out, o.help ? help_text().c_str() : kVersion);
    return 0;
  }
  if (o.shard.active())
    for (const std::string& input : o.inputs) check_rereadable(input);

  int status = 0;
  Progress progress("frames");
  auto report = [&](const std::string& message) {
    progress.clear();
    err << "kavor-batch: error: " << message << '\n';
    status = 2;
  };
  auto note = [&](const FrameReader& reader) {
    if (reader.note().empty()) return;
    progress.clear();
    err << "kavor-batch: note: " << reader.note() << '\n';
  };
  const bool expect_xyz = o.n1_given();
  auto carries_no_n1 = [&](const FrameReader& reader) {
    return reader.layout() == Layout::xyz && !o.n1_given();
  };
  const std::string no_n1 = ": standard XYZ carries no N1: give --n1 N or --n1 auto";

  // A shard needs the number of frames first: one pass counts them and
  // checks them as the analysis would read them, without keeping atoms.
  std::vector<InputFrames> counts(o.inputs.size());
  long first = 0, last = -1;
  if (o.shard.active()) {
    long total = 0;
    for (size_t i = 0; i < o.inputs.size(); ++i) {
      InputFrames& c = counts[i];
      std::unique_ptr<FrameReader> reader;
      try {
        reader = std::make_unique<FrameReader>(o.inputs[i], o.layout, expect_xyz);
      } catch (const InputError& e) {
        report(e.what());
        continue;
      }
      note(*reader);
      if (carries_no_n1(*reader)) {
        report(reader->source() + no_n1);
        continue;
      }
      while (true) {
        if (c.frames % kMarkEvery == 0) c.marks.push_back(reader->position());
        try {
          if (!reader->skip(true)) break;
        } catch (const InputError& e) {
          report(e.what());
          ++c.frames;  // the unreadable frame still gets its row
          c.ends_unreadable = true;
          break;
        }
        ++c.frames;
      }
      total += c.frames;
    }
    first = o.shard.first(total);
    last = o.shard.last(total);
  }

  TableSink sink(o.output, out);
  std::string header;
  for (const Column& column : kColumns) header.append(column.name).push_back('\t');
  header.back() = '\n';
  sink.write(header);
  // Frames are analysed a chunk at a time: up to 256 per thread, and no more
  // than a few million atoms held at once, whatever the size of the frames.
  // The chunk's slots are made as frames arrive, so a short input with many
  // threads holds no more than its own frames.
  // With more than one thread a chunk is analysed in the background while
  // the next one is read (two chunks held then), and written once the next
  // one is full: rows, progress and error lines keep their order.
  const size_t chunk_size = 256 * static_cast<size_t>(o.jobs);
  constexpr long kChunkAtoms = 2000000;
  struct Chunk {
    std::vector<Job> jobs;
    std::vector<std::string> rows;
    size_t pending = 0;
  };
  Chunk chunks[2];
  int reading = 0;           // the chunk being read
  bool in_flight = false;    // the other one is being analysed
  BackgroundFor analysis;
  long pending_atoms = 0;
  auto write_chunk = [&](Chunk& c) {
    std::string text;
    for (size_t i = 0; i < c.pending; ++i) text += c.rows[i];
    sink.write(text);
    progress.advance(c.pending);
    for (size_t i = 0; i < c.pending; ++i)  // a large frame's memory goes back
      if (c.jobs[i].data.block.icoo_and_m.capacity() > 65536) c.jobs[i].data = Frame{};
    c.pending = 0;
  };
  auto land = [&] {  // the chunk in flight: finished and written
    if (!in_flight) return;
    in_flight = false;
    analysis.finish();
    write_chunk(chunks[1 - reading]);
  };
  auto flush = [&] {
    Chunk& c = chunks[reading];
    pending_atoms = 0;
    if (o.jobs <= 1) {
      parallel_for(1, c.pending, [&](size_t i) { analyse_job(c.jobs[i], o.n1_auto, o.n1, c.rows[i]); });
      write_chunk(c);
      return;
    }
    land();
    analysis.start(o.jobs, c.pending, [&c, &o](size_t i) { analyse_job(c.jobs[i], o.n1_auto, o.n1, c.rows[i]); });
    in_flight = true;
    reading = 1 - reading;
  };

  long global = 0;  // index of the input's first frame over all inputs
  for (size_t i = 0; i < o.inputs.size(); ++i) {
    // A shard reads only the inputs that hold its frames, from the mark
    // before its first one; their errors were reported by the counting pass.
    long from = 0, to = LONG_MAX;
    if (o.shard.active()) {
      const long start = global;
      global += counts[i].frames;
      if (counts[i].frames == 0 || global <= first || start >= last) continue;
      from = std::max(first - start, 0L);
      to = std::min(last - start, counts[i].frames);
    }
    std::unique_ptr<FrameReader> reader;
    try {
      reader = std::make_unique<FrameReader>(o.inputs[i], o.layout, expect_xyz);
    } catch (const InputError& e) {
      report(e.what());
      continue;
    }
    if (!o.shard.active()) note(*reader);
    long frame_number = 1;
    try {
      if (from >= kMarkEvery) {
        const long mark = from / kMarkEvery;
        reader->seek(counts[i].marks[static_cast<size_t>(mark)]);
        frame_number += mark * kMarkEvery;
      }
      for (; frame_number <= from; ++frame_number)
        if (!reader->skip(false)) break;
    } catch (const InputError& e) {
      report(e.what());  // the file changed since it was counted
      continue;
    }
    for (; frame_number <= to; ++frame_number) {
      Chunk& chunk = chunks[reading];
      if (chunk.pending == chunk.jobs.size()) {
        chunk.jobs.emplace_back();
        chunk.rows.emplace_back();
      }
      Job& job = chunk.jobs[chunk.pending];
      job.error.clear();
      try {
        if (!reader->next(job.data)) break;
      } catch (const InputError& e) {
        const bool counted = o.shard.active() && counts[i].ends_unreadable && frame_number == counts[i].frames;
        if (!counted) report(e.what());
        job.error = e.what();
      }
      if (job.error.empty() && carries_no_n1(*reader)) {
        report(reader->source() + no_n1);
        break;
      }
      const bool end_of_file = !job.error.empty();  // nothing after it can be trusted
      job.source = reader->source();
      job.frame = frame_number;
      pending_atoms += job.data.too_many ? 0 : job.data.block.n;
      if (++chunk.pending == chunk_size || pending_atoms >= kChunkAtoms) flush();
      if (end_of_file) break;
    }
  }
  flush();
  land();
  progress.finish();
  try {
    sink.close();
  } catch (const OutputError& e) {
    report(e.what());
  }
  return status;
}

}  // namespace kavor::batch
