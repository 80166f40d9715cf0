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

}  // namespace carvel
