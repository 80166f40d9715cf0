#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace carvel {

// UTF-8 when the bytes are valid UTF-8, otherwise CP932 decoded the way Windows does
// (windows-31j).
QString decodeUtf8OrCp932(QByteArrayView bytes);

// As decodeUtf8OrCp932, but nullopt when the bytes are valid in neither encoding.
std::optional<QString> decodeUtf8OrCp932Strictly(QByteArrayView bytes);

// Decodes a whole chart or text file: a UTF-16 byte-order mark (either order) decodes UTF-16; a
// UTF-8 mark is dropped, whichever of UTF-8 and CP932 then decodes the rest.
QString decodeText(QByteArrayView bytes);

}  // namespace carvel
