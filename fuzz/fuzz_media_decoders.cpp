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
    // Memory files reuse inodes: an input must not be refused for an earlier one's sake.
    carvel::media::forgetUnreadableSounds();
    for (const auto precision :
         {carvel::media::SamplePrecision::Compact, carvel::media::SamplePrecision::Exact}) {
        carvel::media::SoundFile file(path, 44100, precision);
        const std::size_t promised = file.decodedBytes();
        if (const carvel::media::SoundPtr sound = file.decode()) {
            if (carvel::media::heldBytes(*sound) > promised) {
                std::abort();  // more memory than the budget was told
            }
        }
    }
    carvel::media::PictureFile picture(path, QSize(256, 256));
    const std::size_t decoding = picture.decodingBytes();
    if (const carvel::media::PicturePtr image = picture.decode()) {
        if (static_cast<std::size_t>(image->sizeInBytes()) > decoding) {
            std::abort();  // more memory than the budget was told
        }
    }
    close(fd);
    return 0;
}
