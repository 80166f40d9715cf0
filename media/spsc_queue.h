#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>
#include <utility>

namespace carvel::media {

// Bounded single-producer single-consumer queue. Neither side blocks or allocates; push fails when
// the queue is full. Capacity must be a power of two.
template <typename T, std::size_t Capacity>
class SpscQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

  public:
    // Takes value only when there is room; on failure value is left as it was.
    bool push(T&& value) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) == Capacity) {
            return false;
        }
        slots_[head & (Capacity - 1)] = std::move(value);
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    std::optional<T> pop() {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        std::optional<T> value(std::move(slots_[tail & (Capacity - 1)]));
        slots_[tail & (Capacity - 1)] = T();
        tail_.store(tail + 1, std::memory_order_release);
        return value;
    }

  private:
    std::array<T, Capacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace carvel::media
