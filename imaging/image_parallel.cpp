#include "imaging/image_parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Below this many pixels a thread costs more than it saves.
constexpr gint64 kMinPixelsPerRange = 1 << 15;

std::atomic<int> chosen_threads{0};
std::atomic<bool> vectors_on{true};

}  // namespace

int image_parallel_threads() {
  const int chosen = chosen_threads.load(std::memory_order_relaxed);
  return chosen > 0 ? chosen : std::max(1, static_cast<int>(g_get_num_processors()));
}

void image_parallel_set_threads(int threads) {
  chosen_threads.store(std::max(threads, 0), std::memory_order_relaxed);
}

bool image_parallel_vectors() { return vectors_on.load(std::memory_order_relaxed); }

void image_parallel_set_vectors(bool use) { vectors_on.store(use, std::memory_order_relaxed); }

void image_parallel_for(int count, gint64 unit_cost,
                        const std::function<void(int first, int last)> &work) {
  if (count <= 0) return;
  const gint64 total = static_cast<gint64>(count) * std::max<gint64>(unit_cost, 1);
  const int ranges = static_cast<int>(std::min<gint64>(
      {image_parallel_threads(), count, std::max<gint64>(total / kMinPixelsPerRange, 1)}));
  if (ranges == 1) {
    work(0, count);
    return;
  }

  std::vector<std::exception_ptr> failures(static_cast<gsize>(ranges));
  auto run_range = [&](int i) {
    const int first = static_cast<int>(static_cast<gint64>(count) * i / ranges);
    const int last = static_cast<int>(static_cast<gint64>(count) * (i + 1) / ranges);
    try {
      work(first, last);
    } catch (...) {
      failures[i] = std::current_exception();
    }
  };

  std::vector<std::thread> workers;
  std::vector<int> left_over;  // ranges no thread could be started for
  workers.reserve(static_cast<gsize>(ranges - 1));
  left_over.reserve(static_cast<gsize>(ranges - 1));
  for (int i = 1; i < ranges; i++) {
    try {
      workers.emplace_back(run_range, i);
    } catch (const std::system_error &) {
      left_over.push_back(i);
    }
  }
  run_range(0);
  for (int i : left_over) run_range(i);
  for (std::thread &worker : workers) worker.join();
  for (const std::exception_ptr &failure : failures)
    if (failure) std::rethrow_exception(failure);
}
