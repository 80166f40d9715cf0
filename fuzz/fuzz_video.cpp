// libFuzzer target: the video probe and an offline video stream on arbitrary file contents, read
// through the /proc name of an anonymous memory file as any file on disk would be.
#include <sys/mman.h>
#include <unistd.h>

#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "media/video_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("video", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
    const auto info = carvel::media::probeVideo(path);
    {
        const QSize target(48, 32);
        carvel::media::VideoStream stream(path, target, carvel::media::VideoStream::Mode::Offline);
        for (const double ms : {0.0, 100.0, 1000.0}) {
            const QImage frame = stream.frameAt(ms);
            if (!frame.isNull() && frame.size() != target) {
                std::abort();  // every frame is scaled to the target
            }
            stream.nextChangeAfter(ms);
        }
        stream.seek(0);
        stream.frameAt(0);
        if (info.has_value() && (info->size.width() <= 0 || info->size.height() <= 0)) {
            std::abort();  // a probe that succeeds gives a size
        }
    }
    close(fd);
    return 0;
}
