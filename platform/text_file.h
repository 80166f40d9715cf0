#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace carvel {

// Splits text into lines. CR LF, LF and CR each end a line; the break is not part of the line.
// A final line without a break is a line; a break at the very end adds no empty line.
QStringList splitLines(const QString& text);

// Reads a whole text file and decodes it (decodeText). Empty when the file cannot be opened or
// read.
std::optional<QString> readTextFile(const QString& path);

// readTextFile followed by splitLines.
std::optional<QStringList> readTextLines(const QString& path);

}  // namespace carvel
