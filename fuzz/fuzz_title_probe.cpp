// libFuzzer target: the title probe on arbitrary chart heads, from memory.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "playlist/title_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString title = carvel::titleInText(bytes);
    if (title.contains(u'\n') || title.contains(u'\r')) {
        std::abort();  // a title is one line of a list entry
    }
    return 0;
}
