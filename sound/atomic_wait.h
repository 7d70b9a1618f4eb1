// Sleeping until an atomic counter moves on: std::atomic's own wait, except on Windows. There
// GCC 12's library has no futex to build it on, and its fallback can miss a notification, which
// would leave a waiter asleep for good. A condition variable does the waiting there instead;
// notifying takes its mutex for a moment, so a waiter between its check and its sleep cannot
// miss the change, and the bounded wait is a second guard.
#pragma once

#include <atomic>
#include <cstdint>

#ifdef _WIN32
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace atomic_wait_detail {
inline std::mutex mutex;
inline std::condition_variable moved;
}  // namespace atomic_wait_detail

inline void waitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t seen) {
    std::unique_lock<std::mutex> lock(atomic_wait_detail::mutex);
    while (word.load(std::memory_order_seq_cst) == seen) {
        atomic_wait_detail::moved.wait_for(lock, std::chrono::milliseconds(50));
    }
}

inline void notifyWaiters(std::atomic<std::uint32_t>&) {
    { const std::lock_guard<std::mutex> hold(atomic_wait_detail::mutex); }
    atomic_wait_detail::moved.notify_all();
}
#else
inline void waitWhileEqual(const std::atomic<std::uint32_t>& word, std::uint32_t seen) {
    word.wait(seen, std::memory_order_seq_cst);
}

inline void notifyWaiters(std::atomic<std::uint32_t>& word) { word.notify_all(); }
#endif
