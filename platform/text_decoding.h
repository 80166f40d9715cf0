#pragma once

#include <QByteArray>
#include <QString>

namespace carvel {

// Decodes the bytes of a chart or list file: UTF-8 when the whole text is valid UTF-8 (a leading
// byte-order mark is dropped), otherwise CP932 decoded the way Windows does (windows-31j).
QString decodeText(const QByteArray& bytes);

}  // namespace carvel
