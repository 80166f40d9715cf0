#pragma once

namespace carvel {

// Gives the whole pages of [from, to) back to the system: memory that nothing reads again (it reads
// as zeros afterwards). Returns where the pages given back end, or from when there were none, so
// that a caller passing through a buffer can go on from there.
const char* releasePages(const char* from, const char* to);

}  // namespace carvel
