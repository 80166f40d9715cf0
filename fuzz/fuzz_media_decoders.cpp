// libFuzzer target: the sound and picture decoders on arbitrary file contents. The bytes live in
// an anonymous memory file, opened through its /proc name as any file on disk would be.
#include <sys/mman.h>
#include <unistd.h>

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "media/picture_decoder.h"
#include "media/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("media", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
    for (const auto precision :
         {carvel::media::SamplePrecision::Compact, carvel::media::SamplePrecision::Exact}) {
        carvel::media::SoundFile file(path, 44100, precision);
        const std::size_t promised = file.decodedBytes();
        if (const carvel::media::SoundPtr sound = file.decode()) {
            const std::size_t held = sound->pcm16.size() * 2 + sound->pcm.size() * 4;
            if (held > promised) {
                std::abort();  // more memory than the budget was told
            }
        }
    }
    carvel::media::decodePicture(path, QSize(256, 256));
    close(fd);
    return 0;
}
