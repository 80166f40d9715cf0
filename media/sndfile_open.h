#pragma once

#include <sndfile.h>

namespace carvel::media {

// Opens a sound file on libsndfile from a descriptor that stays the caller's: libsndfile closes
// the descriptor it is given when an open fails, whatever close_desc says, and a second close by
// the caller could close a file that another thread has opened meanwhile. So libsndfile gets a
// duplicate, which it owns: closed by sf_close, or by the failed open. Null when the open (or the
// duplicate) fails; fd is still open then, and refers to the same file. errno is then the
// duplicate's error (out of descriptors: not the file's fault), or 0 when libsndfile refused it.
SNDFILE* openOnDuplicate(int fd, int mode, SF_INFO& info);

}  // namespace carvel::media
