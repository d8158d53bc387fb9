// How both programs end a run.
//
// Every file of a run (report, result files, the builder's new
// "input-GEOMETRY.xyz") is staged while the run goes on and published only at
// its end: all of them after a normal end or an orderly stop (exit status 0),
// none after a failure (exit status 2), so that a failed run leaves the
// directory as it found it. Failures are input that cannot be read, output
// that cannot be written (a file, or the console: a summary that is lost is
// as much a failure as a lost file), and memory that cannot be had; each
// gives one line on the error stream.
//
// The report is staged last, after the driver's closing lines, and so is
// published after the result files. The console is flushed and checked
// before anything is published.
#pragma once

#include <new>
#include <ostream>
#include <string_view>

#include "core/errors.hpp"
#include "core/outfile.hpp"
#include "core/session.hpp"

namespace kavor {

template <class Body>
int run_program(Session& session, std::string_view program, std::ostream& errors, Body&& body) {
  occupy_closed_standard_descriptors();
  CleanupOnSignals cleanup;
  int status = kExitOk;
  auto fail = [&](std::string_view message) {
    errors << program << ": error: " << message << '\n';
    status = kExitIoError;
  };
  // Runs one step unless the run has failed already.
  auto step = [&](auto&& action) {
    if (status != kExitOk) return;
    try {
      action();
    } catch (const ProgramStop&) {
    } catch (const InputError& e) {
      fail(e.what());
    } catch (const OutputError& e) {
      fail(e.what());
    } catch (const std::bad_alloc&) {
      fail("out of memory");
    }
  };
  step([&] { body(session); });
  step([&] {
    if (OutputFile* report = session.report.file()) session.stage(*report);
  });
  session.console.flush();
  if (status == kExitOk && !session.console) fail("cannot write standard output");
  step([&] { session.staged.publish(); });
  session.staged.discard();
  return status;
}

}  // namespace kavor
