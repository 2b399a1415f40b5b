#include "extract/OrderedPipeline.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sga {

int defaultJobs() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u)); }

OrderedPipeline::OrderedPipeline(int jobs, int window)
    : jobs_(std::max(1, jobs)), window_(std::max(1, window)) {}

OrderedPipeline::OrderedPipeline(int jobs, int window, uint64_t budget,
                                 std::function<uint64_t(int k)> cost)
    : jobs_(std::max(1, jobs)), window_(std::max(1, window)), budget_(budget), cost_(std::move(cost)) {}

void OrderedPipeline::run(int count, const std::function<void(int, int)>& produce,
                          const std::function<bool(int)>& announce,
                          const std::function<void(int)>& take) {
    if (count <= 0) return;
    std::unique_ptr<bool[]> done(new bool[static_cast<size_t>(count)]());
    // Workers wait on roomFree when they are a window ahead of the taking
    // side; it waits on itemReady for the item it takes next. Each side is
    // woken only when the other is actually waiting.
    std::mutex mutex;
    std::condition_variable roomFree, itemReady;
    int next = 0, taken = 0, waitingFor = -1, workersWaiting = 0;
    uint64_t pending = 0;   // cost of the items started and not yet taken
    bool abort = false;
    const auto costOf = [&](int k) { return budget_ != 0 && cost_ ? cost_(k) : uint64_t{0}; };
    const auto roomFor = [&](int k) {
        return k < taken + window_ && (budget_ == 0 || k == taken || pending + costOf(k) <= budget_);
    };

    auto worker = [&](int id) {
        while (true) {
            int k = 0;
            {
                std::unique_lock lock(mutex);
                ++workersWaiting;
                roomFree.wait(lock, [&] { return abort || next >= count || roomFor(next); });
                --workersWaiting;
                if (abort || next >= count) return;
                k = next++;
                pending += costOf(k);
            }
            produce(id, k);
            bool wake = false;
            {
                std::lock_guard lock(mutex);
                done[static_cast<size_t>(k)] = true;
                wake = waitingFor == k;
            }
            if (wake) itemReady.notify_one();
        }
    };

    std::vector<std::thread> threads;
    auto stopWorkers = [&] {
        {
            std::lock_guard lock(mutex);
            abort = true;
        }
        roomFree.notify_all();
        for (auto& t : threads) t.join();
    };
    try {
        for (int j = 0; j < jobs_; ++j) threads.emplace_back(worker, j);
        for (int k = 0; k < count; ++k) {
            if (!announce(k)) break;
            {
                std::unique_lock lock(mutex);
                waitingFor = k;
                itemReady.wait(lock, [&] { return done[static_cast<size_t>(k)]; });
                waitingFor = -1;
            }
            take(k);
            bool wake = false;
            {
                std::lock_guard lock(mutex);
                taken = k + 1;
                pending -= costOf(k);
                wake = workersWaiting > 0;
            }
            if (wake) roomFree.notify_all();
        }
    } catch (...) {
        stopWorkers();
        throw;
    }
    stopWorkers();
}

} // namespace sga
