#include "core/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace kavor {

void parallel_for(int jobs, std::size_t count, const std::function<void(std::size_t)>& work) {
  if (jobs <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  const std::size_t helpers = std::min<std::size_t>(static_cast<std::size_t>(jobs) - 1, count - 1);
  std::vector<std::thread> threads;
  threads.reserve(helpers);
  for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
}

int default_jobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace kavor
