// Where a run's output goes: the console (standard output in the programs, a
// string stream in tests), the report file and the working directory in which
// every file is created.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "core/atoms.hpp"
#include "core/errors.hpp"
#include "core/format.hpp"
#include "core/outfile.hpp"
#include "core/report.hpp"

namespace kavor {

struct Session {
  Session(std::ostream& console_stream, std::filesystem::path directory, Mode program_mode)
      : console(console_stream), dir(std::move(directory)), mode(program_mode) {}

  std::ostream& console;
  std::filesystem::path dir;
  Mode mode;
  Report report;  // opened by the core on its first use
  // Off for a batch frame: no report and no result files, only the values.
  bool write_files = true;
  // Off when the caller reads only the values: a run without result files
  // then builds no result name (the distance limit still stops it).
  bool want_name = true;
  OutputStage staged;  // finished files, published together at the end of the run

  // Takes a finished result file; run_program publishes it with the others
  // when the run ends well or with an orderly stop, and removes it otherwise.
  void stage(OutputFile& file) { staged.add(file); }

  void say(std::string_view line) { console << line << '\n'; }
  // Ends the run with an orderly stop: its message lines go to the console,
  // and travel with the exception.
  [[noreturn]] void stop(Status code, std::vector<std::string> lines) {
    for (const std::string& line : lines) say(line);
    throw ProgramStop(code, std::move(lines));
  }
  void log(std::string_view line) { report.line(line); }
  // A free-format report line, formatted only when a report is being written:
  // a run without a report (a batch frame) pays nothing for its 2000 lines.
  template <class... Items>
  void logf(const Items&... items) {
    report.free(items...);
  }
  bool logging() const { return report.on(); }
  void both(std::string_view line) {
    say(line);
    log(line);
  }
  std::filesystem::path file(std::string_view name) const { return dir / std::string(name); }
};

// Texts of the two programs' banners, headers and closing blocks.
inline constexpr std::string_view kAnalyzerVersionLine = " KAVOR Version 1.13.10 ";
inline constexpr std::string_view kBuilderVersionLine = " UD-KAVOR Version 1.14 ";
inline constexpr std::string_view kAnalyzerReportName = "LOG-PARAM-ONLY.txt";
inline constexpr std::string_view kBuilderReportName = "UD-LOG-PARAM.txt";
inline constexpr std::string_view kCreditLine =
    " Authors: the KAVOR developers - molecular dimer placement analysis ";
inline constexpr std::string_view kCitationLine =
    " Please cite: KAVOR, relative placement of supramolecular pairs from principal axes of inertia ";
inline constexpr std::string_view kAnalyzerSourceLine = " source file: analyzer/main.cpp (kavor) ";
inline constexpr std::string_view kBuilderSourceLine = " source file: builder/main.cpp (ud-kavor) ";
inline constexpr std::string_view kBuildIdentifier = " build: 2026.12-cpp20-lapack ";

}  // namespace kavor
