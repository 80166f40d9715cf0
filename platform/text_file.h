#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace carvel {

// Splits text into lines. CR LF, LF and CR each end a line; the break is not part of the line.
// A final line without a break is a line; a break at the very end adds no empty line.
QStringList splitLines(const QString& text);

// Text files larger than this are not read whole.
inline constexpr qint64 kMaxTextFileBytes = qint64{64} << 20;

// Reads a whole regular text file and decodes it (decodeText). Empty when the file is missing, is
// no regular file, is larger than kMaxTextFileBytes, or cannot be read.
std::optional<QString> readTextFile(const QString& path);

}  // namespace carvel
