#pragma once

#include <cstddef>
#include <functional>

namespace carvel::media {

// Runs job(0) .. job(count - 1) on up to `threads` threads (0: one per core) and returns when all
// have finished. Jobs must not throw; each writes only its own result slot. Jobs start in index
// order, so a job may wait for one with a lower index. When no thread can be started, the calling
// thread runs every job itself.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& job, int threads = 0);

}  // namespace carvel::media
