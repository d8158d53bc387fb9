// Work spread over threads: the batch program's frames and points, and the
// Python package's frames.
#pragma once

#include <cstddef>
#include <functional>

namespace kavor {

// Calls work(i) for every i in [0, count) on up to `jobs` threads (the
// calling thread is one of them) and returns when all calls are done.
//
// Threads that cannot be started (a process, memory or cgroup limit) are
// done without: the work is shared among those that did start, at least the
// calling thread. The first exception thrown by a call of work (std::bad_alloc
// included) stops the handing out of items; it is rethrown here once every
// thread has stopped.
//
// `poll`, when given, is called on the calling thread before its first item
// and then between items at most every tenth of a second; an exception from
// it stops the work the same way (the Python package's pending Ctrl-C).
void parallel_for(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                  const std::function<void()>& poll = {});

// Default number of threads: the machine's cores.
int default_jobs();

}  // namespace kavor
