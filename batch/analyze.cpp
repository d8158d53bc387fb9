// kavor-batch analyze: one table row per frame.
#include <iostream>
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

const char* const kHelp = R"(usage: kavor-batch analyze [options] FILE...

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
  --jobs N      threads (default: the machine's cores)
  --shard K/N   take the K-th of N equal contiguous shares of all frames
  -h, --help    this text
  --version     the version

table (tab-separated, one header line):
  source frame status r theta phi alpha beta gamma name message
  frame counts from 1 in each source; r in Angstrom, angles in degrees;
  an undefined angle (NAD) is empty; status is ok or a stop code:
  too_many_atoms atom_counts no_element symmetric_1 symmetric_2
  symmetric_both alignment_failed euler_not_found distance_too_large
  coordinates n1_not_found unreadable

example:
  kavor-batch analyze --n1 auto -o placements.tsv trajectory.xyz
)";


struct Job {
  std::string source;
  long frame = 0;
  Frame data;
  std::string error;  // the frame could not be read
};

// N1 of a standard XYZ frame: n1_auto, or fixed_n1 (never -1 here).
void analyse_job(Job& job, bool n1_auto, int fixed_n1, std::string& row) {
  StopCode status = StopCode::none;
  std::string message;
  Analysis result;
  if (!job.error.empty()) {
    status = StopCode::unreadable;
    message = job.error;
  } else {
    // kavor's layout carries N1; standard XYZ takes --n1 N or the bonds.
    std::optional<int> n1;
    if (job.data.has_n1) n1 = job.data.block.n1;
    else if (!n1_auto) n1 = fixed_n1;
    result = analyse_frame(job.data.block, n1);
    status = result.status;
    message = result.message;
  }
  row.clear();
  append_text(row, job.source);
  row += '\t';
  row += std::to_string(job.frame);
  row += '\t';
  row += stop_code_name(status);
  row += '\t';
  if (status == StopCode::none) {
    const ParamArgs& v = result.values;
    append_number(row, v.ret_r);
    row += '\t';
    if (result.theta_defined()) append_number(row, kDegPerRad * v.ret_theta);
    row += '\t';
    if (result.phi_defined()) append_number(row, kDegPerRad * v.ret_phi);
    row += '\t';
    append_number(row, kDegPerRad * v.ret_alpha);
    row += '\t';
    append_number(row, kDegPerRad * v.ret_beta);
    row += '\t';
    append_number(row, kDegPerRad * v.ret_gamma);
    row += '\t';
    row += result.stem;
    row += ')';
  } else {
    row += "\t\t\t\t\t\t";
  }
  row += '\t';
  append_text(row, message);
  row += '\n';
}

struct Options : CommonOptions {
  std::vector<std::string> inputs;
};

Options parse_options(const std::vector<std::string>& args) {
  Options o;
  for (const Argument& a : split_arguments(args, {})) {
    if (take_common_option(a, o)) continue;
    if (a.option) throw UsageError{"unknown option " + a.name};
    o.inputs.push_back(a.name);
  }
  if (!o.help && o.inputs.empty()) throw UsageError{"no input FILE given"};
  return o;
}

}  // namespace

int run_analyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parse_options(args);
  if (o.help) {
    out << kHelp;
    return 0;
  }
  int status = 0;
  auto report = [&](const std::string& message) {
    err << "kavor-batch: error: " << message << '\n';
    status = 2;
  };

  // A shard needs the number of frames first: read everything once.
  long first = 0, last = -1;
  if (o.shard.active()) {
    long total = 0;
    for (const std::string& input : o.inputs) {
      if (input == "-") throw UsageError{"--shard cannot count the frames of standard input"};
      try {
        FrameReader reader(input, o.layout);
        Frame frame;
        while (true) {
          try {
            if (!reader.next(frame)) break;
          } catch (const InputError&) {
            ++total;  // the unreadable frame still gets its row
            break;
          }
          ++total;
        }
      } catch (const InputError&) {
      }
    }
    first = o.shard.first(total);
    last = o.shard.last(total);
  }

  TableSink sink(o.output, out);
  sink.write("source\tframe\tstatus\tr\ttheta\tphi\talpha\tbeta\tgamma\tname\tmessage\n");
  Progress progress("frames");
  // Frames are analysed a chunk at a time: up to 256 per thread, and no more
  // than a few million atoms held at once, whatever the size of the frames.
  const size_t chunk_size = 256 * static_cast<size_t>(o.jobs);
  constexpr long kChunkAtoms = 2000000;
  std::vector<Job> jobs(chunk_size);
  std::vector<std::string> rows(chunk_size);
  size_t pending = 0;
  long pending_atoms = 0;
  auto flush = [&] {
    parallel_for(o.jobs, pending, [&](size_t i) { analyse_job(jobs[i], o.n1_auto, o.n1, rows[i]); });
    std::string text;
    for (size_t i = 0; i < pending; ++i) text += rows[i];
    sink.write(text);
    progress.advance(pending);
    for (size_t i = 0; i < pending; ++i)  // a large frame's memory goes back
      if (jobs[i].data.block.icoo_and_m.capacity() > 65536) jobs[i].data = Frame{};
    pending = 0;
    pending_atoms = 0;
  };

  long global = 0;
  for (const std::string& input : o.inputs) {
    std::unique_ptr<FrameReader> reader;
    try {
      reader = std::make_unique<FrameReader>(input, o.layout);
    } catch (const InputError& e) {
      report(e.what());
      continue;
    }
    for (long frame_number = 1;; ++frame_number) {
      Job& job = jobs[pending];
      job.error.clear();
      try {
        if (!reader->next(job.data)) break;
      } catch (const InputError& e) {
        report(e.what());
        job.error = e.what();
      }
      if (job.error.empty() && !job.data.has_n1 && !o.n1_auto && o.n1 < 0) {
        report(reader->source() + ": standard XYZ carries no N1: give --n1 N or --n1 auto");
        break;
      }
      const long index = global++;
      const bool end_of_file = !job.error.empty();  // nothing after it can be trusted
      if (!o.shard.active() || (index >= first && index < last)) {
        job.source = reader->source();
        job.frame = frame_number;
        pending_atoms += job.data.too_many ? 0 : job.data.block.n;
        if (++pending == chunk_size || pending_atoms >= kChunkAtoms) flush();
      }
      if (end_of_file) break;
    }
  }
  flush();
  progress.finish();
  try {
    sink.close();
  } catch (const OutputError& e) {
    report(e.what());
  }
  return status;
}

}  // namespace kavor::batch
