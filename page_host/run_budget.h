// The budget of one script run, the same for either script engine: a wall-clock deadline
// (Server.ScriptTimeout) and a ceiling on the memory the engine holds for the run. The engine's
// allocator charges and releases memory here, and its periodic check (the JScript engine's execution
// check, the VBScript engine's checkpoint) asks exhausted() and stops the script when it says so.
#pragma once

#include <chrono>
#include <cstddef>

namespace orvan::host {

// Why a run must stop; None while it may go on.
enum class BudgetStop { None, TimeUp, OutOfMemory };

// Used by the one thread that runs the script (the allocator runs on that thread too).
struct RunBudget {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::seconds timeout{90};
    std::size_t memoryLimit = 256 * 1024 * 1024;  // bytes; 0: no ceiling

    // The deadline has passed.
    bool expired() const { return std::chrono::steady_clock::now() - start > timeout; }

    // Records bytes more held by the engine. false, recording nothing, when that would pass the
    // ceiling: the allocation must then fail, and the run is out of memory from then on.
    bool charge(std::size_t bytes) {
        if (memoryLimit != 0 && (bytes > memoryLimit || used_ > memoryLimit - bytes)) {
            outOfMemory_ = true;
            return false;
        }
        used_ += bytes;
        return true;
    }
    // Records bytes more held by an engine that is unwinding a stopped run: allowed beyond the ceiling
    // by at most overdraft bytes, so that the engine can still build the error that ends the run.
    bool chargeUnwinding(std::size_t bytes, std::size_t overdraft) {
        const std::size_t ceiling = memoryLimit == 0 ? static_cast<std::size_t>(-1) : memoryLimit + overdraft;
        if (bytes > ceiling || used_ > ceiling - bytes) return false;
        used_ += bytes;
        return true;
    }
    // Records bytes given back by the engine (at most what it was charged).
    void release(std::size_t bytes) { used_ -= bytes <= used_ ? bytes : used_; }
    std::size_t used() const { return used_; }

    // What the run's periodic check acts on: out of memory first (it is final), then the deadline.
    BudgetStop exhausted() const {
        if (outOfMemory_) return BudgetStop::OutOfMemory;
        if (expired()) return BudgetStop::TimeUp;
        return BudgetStop::None;
    }

private:
    std::size_t used_ = 0;
    bool outOfMemory_ = false;
};

}  // namespace orvan::host
