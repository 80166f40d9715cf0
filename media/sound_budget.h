#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace carvel::media {

// The decoded samples of one chart's sounds together may not exceed this.
inline constexpr std::size_t kChartSoundBudgetBytes = std::size_t{2} << 30;

// Shares a byte budget among sounds that are decoded in parallel, in a fixed order: ticket k is
// decided only after tickets 0 .. k-1, so the outcome does not depend on timing, and since a sound
// is admitted before its buffer is allocated, the admitted sounds never hold more than the budget.
// Once a sound does not fit, every later one is refused too, however small.
// Every ticket from 0 up must be decided exactly once (admit or pass), or later ones wait forever;
// the caller hands tickets to threads in increasing order.
class SoundBudget {
  public:
    explicit SoundBudget(std::size_t bytes) : left_(bytes) {}

    // Waits for the earlier tickets, then admits the sound when bytes still fit and no earlier
    // sound was refused.
    bool admit(std::size_t ticket, std::size_t bytes);
    // Waits for the earlier tickets, then lets the next one through (a sound that is not decoded).
    void pass(std::size_t ticket);

  private:
    void waitFor(std::unique_lock<std::mutex>& lock, std::size_t ticket);
    void done(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable turn_;
    std::size_t next_ = 0;
    std::size_t left_;
    bool exhausted_ = false;
};

}  // namespace carvel::media
