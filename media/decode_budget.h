#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace carvel::media {

// The decoded samples of one chart's sounds together may not exceed this.
inline constexpr std::size_t kChartSoundBudgetBytes = std::size_t{2} << 30;

// The decoded pictures of one chart together (RGB32, at their kept sizes and while they are read)
// may not exceed this: 2,048 BMP pictures of 256 x 256, or over 400 stage pictures of 640 x 480.
inline constexpr std::size_t kMaxChartPictureBytes = std::size_t{512} << 20;

// Shares a byte budget among items (sounds, pictures) that are decoded in parallel, in a fixed
// order: ticket k is decided only after tickets 0 .. k-1, so the outcome does not depend on timing.
// An item is admitted with an upper bound of what decoding it may hold, before anything is
// allocated, so the admitted items never hold more than the budget; once decoded, it settles to
// what it really holds and the rest returns to the budget. A ticket that does not fit while
// earlier items are still decoding waits until they have settled, so that it is decided against
// what they really hold, as it would be were they decoded one after the other.
// Once an item does not fit, every later one is refused too, however small.
// Every ticket from 0 up must be decided exactly once (admit or pass), and every admitted item
// settled exactly once, or later ones wait forever; the caller hands tickets to threads in
// increasing order, and a thread settles its item before it takes another ticket.
class DecodeBudget {
  public:
    explicit DecodeBudget(std::size_t bytes) : left_(bytes) {}

    // Waits for the earlier tickets, then admits the item when bytes still fit and no earlier
    // item was refused.
    bool admit(std::size_t ticket, std::size_t bytes);
    // Waits for the earlier tickets, then lets the next one through (an item that is not decoded).
    void pass(std::size_t ticket);
    // An item admitted with `admitted` bytes now holds `held` of them (at most `admitted`).
    void settle(std::size_t admitted, std::size_t held);

  private:
    void waitFor(std::unique_lock<std::mutex>& lock, std::size_t ticket);
    void done(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable turn_;
    std::size_t next_ = 0;
    std::size_t left_;
    std::size_t unsettled_ = 0;  // admitted items still decoding
    bool exhausted_ = false;
};

}  // namespace carvel::media
