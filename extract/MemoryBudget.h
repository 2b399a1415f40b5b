#pragma once
// The memory that reads of entries may hold at once, shared by every job of
// a run: a read takes its share before it allocates and gives it back when
// done, so the budget, not the number of jobs, decides how many large
// entries are in memory together.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sga {

class MemoryBudget {
public:
    explicit MemoryBudget(int64_t capacity);
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Takes bytes of the budget, waiting while others hold too much of it.
    // Requests are served in the order they came. A request larger than
    // the whole budget waits until nothing else is held and then runs
    // alone. A thread that already holds a share never waits (it could be
    // waiting for itself).
    void acquire(int64_t bytes);
    void release(int64_t bytes);

    int64_t capacity() const { return capacity_; }
    int64_t inUse() const;
    // The most ever held at once.
    int64_t peak() const;

    // The process's budget, used by every read of an entry unless told otherwise.
    static MemoryBudget& shared();

private:
    const int64_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int64_t inUse_ = 0;
    int64_t peak_ = 0;
    uint64_t nextTicket_ = 0;   // handed to the next request
    uint64_t serving_ = 0;      // the request whose turn it is
};

// A share of a budget held for a scope.
class BudgetLease {
public:
    BudgetLease() = default;
    BudgetLease(MemoryBudget& budget, int64_t bytes);
    ~BudgetLease() { reset(); }
    BudgetLease(BudgetLease&& other) noexcept;
    BudgetLease& operator=(BudgetLease&& other) noexcept;
    void reset();
    int64_t bytes() const { return bytes_; }

private:
    MemoryBudget* budget_ = nullptr;
    int64_t bytes_ = 0;
};

} // namespace sga
