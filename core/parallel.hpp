// Work spread over threads: the batch program's frames and points, and the
// Python package's frames.
#pragma once

#include <cstddef>
#include <functional>

namespace kavor {

// Calls work(i) for every i in [0, count) on `jobs` threads (the calling
// thread is one of them) and returns when all calls are done.
void parallel_for(int jobs, std::size_t count, const std::function<void(std::size_t)>& work);

// Default number of threads: the machine's cores.
int default_jobs();

}  // namespace kavor
