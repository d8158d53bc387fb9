// Work spread over threads: the batch program's frames and points, and the
// Python package's frames.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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

// The items of parallel_for taken by jobs - 1 helper threads from start()
// on, while the calling thread does other work (the batch program reads its
// next frames); finish() has the calling thread take the items still left
// (calling `poll` as parallel_for does) and returns when all are done,
// rethrowing the first exception. With one job every item is done in
// finish(). parallel_for is start() and finish() at once. The destructor
// stops the handing out of items and waits for the helpers.
class BackgroundFor {
 public:
  BackgroundFor() = default;
  BackgroundFor(const BackgroundFor&) = delete;
  BackgroundFor& operator=(const BackgroundFor&) = delete;
  ~BackgroundFor();
  void start(int jobs, std::size_t count, std::function<void(std::size_t)> work);
  void finish(const std::function<void()>& poll = {});

 private:
  void take_items(const std::function<void()>& poll);
  void join();

  std::function<void(std::size_t)> work_;
  std::size_t count_ = 0;
  std::atomic<std::size_t> next_{0};
  std::vector<std::thread> threads_;
  std::exception_ptr failure_;
  std::mutex failure_mutex_;
};

// Default number of threads: the machine's cores.
int default_jobs();

}  // namespace kavor
