#include "platform/page_release.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace carvel {

const char* releasePages(const char* from, const char* to) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
    const auto end = reinterpret_cast<std::uintptr_t>(to) / page * page;
    if (end <= first) {
        return from;
    }
    madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
    return reinterpret_cast<const char*>(end);
}

void adviseLargePages(const void* from, std::size_t bytes) {
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    const auto first = (reinterpret_cast<std::uintptr_t>(from) + kLarge - 1) / kLarge * kLarge;
    const auto end = (reinterpret_cast<std::uintptr_t>(from) + bytes) / kLarge * kLarge;
    if (end > first) {
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
}

}  // namespace carvel
