#include "media/decode_budget.h"

#include <algorithm>

namespace carvel::media {

void DecodeBudget::waitFor(std::unique_lock<std::mutex>& lock, std::size_t ticket) {
    turn_.wait(lock, [&] { return next_ == ticket; });
}

void DecodeBudget::done(std::unique_lock<std::mutex>& lock) {
    ++next_;
    lock.unlock();
    turn_.notify_all();
}

bool DecodeBudget::admit(std::size_t ticket, std::size_t bytes) {
    std::unique_lock lock(mutex_);
    waitFor(lock, ticket);
    // Settling only gives bytes back: what fits now fits once the earlier items have settled.
    if (!exhausted_ && bytes > left_) {
        turn_.wait(lock, [&] { return unsettled_ == 0; });
    }
    const bool fits = !exhausted_ && bytes <= left_;
    if (fits) {
        left_ -= bytes;
        ++unsettled_;
    } else {
        exhausted_ = true;
    }
    done(lock);
    return fits;
}

void DecodeBudget::pass(std::size_t ticket) {
    std::unique_lock lock(mutex_);
    waitFor(lock, ticket);
    done(lock);
}

void DecodeBudget::settle(std::size_t admitted, std::size_t held) {
    {
        const std::lock_guard lock(mutex_);
        left_ += admitted - std::min(held, admitted);
        --unsettled_;
    }
    turn_.notify_all();
}

}  // namespace carvel::media
