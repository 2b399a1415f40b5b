#pragma once
// Work on items 0..count-1 done by several threads ahead of the calling
// thread, which takes the results strictly in item order. Used where the
// output (a log, progress) must read exactly as one thread would write it.

#include <cstdint>
#include <functional>

namespace sga {

// One job per core (at least 1, at most 64): the default of every parallel run.
int defaultJobs();

class OrderedPipeline {
public:
    // jobs worker threads; at most window items done ahead of the one taken.
    OrderedPipeline(int jobs, int window);
    // Also at most budget units (bytes, say) of items started and not yet
    // taken, as cost(k) counts them; the item taken next always starts.
    OrderedPipeline(int jobs, int window, uint64_t budget, std::function<uint64_t(int k)> cost);

    // produce(worker, k) runs on a worker thread (worker counts from 0);
    // announce(k) runs on the calling thread before it waits for item k and
    // may stop the run by returning false; take(k) runs on the calling
    // thread once produce(k) has finished. Workers are stopped and joined
    // before run returns, also when announce or take throws.
    void run(int count, const std::function<void(int worker, int k)>& produce,
             const std::function<bool(int k)>& announce, const std::function<void(int k)>& take);

private:
    int jobs_;
    int window_;
    uint64_t budget_ = 0;   // 0: no budget
    std::function<uint64_t(int)> cost_;
};

} // namespace sga
