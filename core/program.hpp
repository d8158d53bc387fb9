// How both programs end a run: orderly stops exit 0 and keep the report;
// input that cannot be read, output that cannot be written and memory that
// cannot be had give one line on the error stream and exit status 2, and
// leave no report behind (it would end half-way, without its closing block).
#pragma once

#include <new>
#include <ostream>
#include <string_view>

#include "core/errors.hpp"
#include "core/session.hpp"

namespace kavor {

template <class Body>
int run_program(Session& session, std::string_view program, std::ostream& errors, Body&& body) {
  int status = kExitOk;
  auto fail = [&](const std::exception& e) {
    errors << program << ": error: " << e.what() << '\n';
    status = kExitIoError;
  };
  try {
    body(session);
  } catch (const ProgramStop&) {
  } catch (const InputError& e) {
    fail(e);
  } catch (const OutputError& e) {
    fail(e);
  } catch (const std::bad_alloc&) {
    errors << program << ": error: out of memory\n";
    status = kExitIoError;
  }
  try {
    if (status == kExitOk) session.report.commit();
  } catch (const OutputError& e) {
    fail(e);
  }
  session.console.flush();
  return status;
}

}  // namespace kavor
