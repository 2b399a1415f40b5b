#include "extract/MemoryBudget.h"

#include <algorithm>
#include <unordered_map>

namespace sga {
namespace {

// What this thread holds of each budget.
int64_t& heldByThisThread(const MemoryBudget* budget) {
    thread_local std::unordered_map<const MemoryBudget*, int64_t> held;
    return held[budget];
}

} // namespace

MemoryBudget::MemoryBudget(int64_t capacity) : capacity_(std::max<int64_t>(capacity, 1)) {}

void MemoryBudget::acquire(int64_t bytes) {
    bytes = std::max<int64_t>(bytes, 0);
    int64_t& mine = heldByThisThread(this);
    std::unique_lock lock(mutex_);
    if (mine == 0) {
        const uint64_t ticket = nextTicket_++;
        changed_.wait(lock, [&] {
            return ticket == serving_ && (inUse_ == 0 || inUse_ + bytes <= capacity_);
        });
        ++serving_;
        changed_.notify_all();
    }
    inUse_ += bytes;
    peak_ = std::max(peak_, inUse_);
    mine += bytes;
}

void MemoryBudget::release(int64_t bytes) {
    bytes = std::max<int64_t>(bytes, 0);
    heldByThisThread(this) -= bytes;
    {
        std::lock_guard lock(mutex_);
        inUse_ -= bytes;
    }
    changed_.notify_all();
}

int64_t MemoryBudget::inUse() const {
    std::lock_guard lock(mutex_);
    return inUse_;
}

int64_t MemoryBudget::peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
}

MemoryBudget& MemoryBudget::shared() {
    // Below 300 MiB with the buffers each thread keeps and the program itself.
    static MemoryBudget budget(int64_t{160} << 20);
    return budget;
}

BudgetLease::BudgetLease(MemoryBudget& budget, int64_t bytes) : budget_(&budget), bytes_(bytes) {
    budget.acquire(bytes);
}

BudgetLease::BudgetLease(BudgetLease&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) {
    other.budget_ = nullptr;
    other.bytes_ = 0;
}

BudgetLease& BudgetLease::operator=(BudgetLease&& other) noexcept {
    if (this != &other) {
        reset();
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        other.budget_ = nullptr;
        other.bytes_ = 0;
    }
    return *this;
}

void BudgetLease::reset() {
    if (budget_) budget_->release(bytes_);
    budget_ = nullptr;
    bytes_ = 0;
}

} // namespace sga
