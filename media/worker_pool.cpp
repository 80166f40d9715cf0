#include "media/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace carvel::media {

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& job, int threads) {
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    const std::size_t workers = std::min<std::size_t>(static_cast<std::size_t>(threads), count);
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            job(i);
        }
    };
    if (workers <= 1) {
        run();
        return;
    }
    std::vector<std::jthread> pool;
    pool.reserve(workers - 1);
    for (std::size_t t = 1; t < workers; ++t) {
        try {
            pool.emplace_back(run);
        } catch (const std::system_error&) {
            break;  // fewer threads share the jobs
        }
    }
    run();
}

}  // namespace carvel::media
