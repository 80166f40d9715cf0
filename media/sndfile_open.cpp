#include "media/sndfile_open.h"

#include <fcntl.h>

#include <cerrno>

namespace carvel::media {

SNDFILE* openOnDuplicate(int fd, int mode, SF_INFO& info) {
    const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
        return nullptr;
    }
    SNDFILE* const file = sf_open_fd(duplicate, mode, &info, SF_TRUE);
    if (file == nullptr) {
        errno = 0;
    }
    return file;
}

}  // namespace carvel::media
