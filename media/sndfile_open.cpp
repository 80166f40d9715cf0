#include "media/sndfile_open.h"

#include <fcntl.h>

namespace carvel::media {

SNDFILE* openOnDuplicate(int fd, int mode, SF_INFO& info) {
    const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
        return nullptr;
    }
    return sf_open_fd(duplicate, mode, &info, SF_TRUE);
}

}  // namespace carvel::media
