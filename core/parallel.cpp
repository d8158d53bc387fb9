#include "core/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kavor {

void parallel_for(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                  const std::function<void()>& poll) {
  BackgroundFor items;
  items.start(jobs, count, work);
  items.finish(poll);
}

void BackgroundFor::take_items(const std::function<void()>& poll) {
  try {
    using Clock = std::chrono::steady_clock;
    Clock::time_point polled;
    for (std::size_t i = next_++; i < count_; i = next_++) {
      if (poll && Clock::now() - polled >= std::chrono::milliseconds(100)) {
        poll();
        polled = Clock::now();
      }
      work_(i);
    }
  } catch (...) {
    const std::lock_guard<std::mutex> lock(failure_mutex_);
    if (!failure_) failure_ = std::current_exception();
    next_ = count_;  // no thread takes a further item
  }
}

void BackgroundFor::start(int jobs, std::size_t count, std::function<void(std::size_t)> work) {
  join();
  work_ = std::move(work);
  count_ = count;
  next_ = 0;
  failure_ = nullptr;
  if (jobs > 1 && count > 1) {
    const std::size_t helpers = std::min<std::size_t>(static_cast<std::size_t>(jobs) - 1, count - 1);
    try {
      threads_.reserve(helpers);
      for (std::size_t t = 0; t < helpers; ++t) threads_.emplace_back([this] { take_items({}); });
    } catch (const std::exception&) {
      // std::system_error (EAGAIN) or std::bad_alloc: fewer threads will do.
    }
  }
}

void BackgroundFor::finish(const std::function<void()>& poll) {
  take_items(poll);
  join();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundFor::join() {
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

BackgroundFor::~BackgroundFor() {
  next_ = count_;
  join();
}

int default_jobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace kavor
