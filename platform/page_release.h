#pragma once

#include <cstddef>

namespace carvel {

// Gives the whole pages of [from, to) back to the system: memory that nothing reads again (it reads
// as zeros afterwards). Returns where the pages given back end, or from when there were none, so
// that a caller passing through a buffer can go on from there.
const char* releasePages(const char* from, const char* to);

// Asks for [from, from + bytes) to be backed by large pages (2 MiB) where the system offers them:
// far fewer page faults for a large table that is filled once. A hint only; nothing changes when
// it is not taken.
void adviseLargePages(const void* from, std::size_t bytes);

}  // namespace carvel
