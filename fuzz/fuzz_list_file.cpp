// libFuzzer target: the playlist file reader and writer on arbitrary bytes. Whatever is read must
// write back and read again to the same entries.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "playlist/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto entries = carvel::parseListFile(bytes);
    const auto again = carvel::parseListFile(carvel::formatListFile(entries));
    if (again.size() != entries.size()) {
        std::abort();
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (again[i].path != entries[i].path) {
            std::abort();
        }
    }
    return 0;
}
