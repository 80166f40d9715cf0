#include "media/sound_budget.h"

namespace carvel::media {

void SoundBudget::waitFor(std::unique_lock<std::mutex>& lock, std::size_t ticket) {
    turn_.wait(lock, [&] { return next_ == ticket; });
}

void SoundBudget::done(std::unique_lock<std::mutex>& lock) {
    ++next_;
    lock.unlock();
    turn_.notify_all();
}

bool SoundBudget::admit(std::size_t ticket, std::size_t bytes) {
    std::unique_lock lock(mutex_);
    waitFor(lock, ticket);
    const bool fits = !exhausted_ && bytes <= left_;
    if (fits) {
        left_ -= bytes;
    } else {
        exhausted_ = true;
    }
    done(lock);
    return fits;
}

void SoundBudget::pass(std::size_t ticket) {
    std::unique_lock lock(mutex_);
    waitFor(lock, ticket);
    done(lock);
}

}  // namespace carvel::media
