#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace carvel {

// A chart's title for a list entry, without loading the chart: the text after the first line that
// starts with "#TITLE" in any case (its seventh character skipped, spaces trimmed), or "無題" when
// there is none or the file cannot be read. Reads no further than that line, and at most the first
// 1 MiB of the file.
QString probeTitle(const QString& path);

// How much of a file the probe reads at most.
inline constexpr qint64 kProbeLimit = qint64{1} << 20;

// As probeTitle, for a file already known by its bytes on disk (see nativePath). A ".bmson" file
// gives the string of its first "title" key (info.title), read from its first 1 MiB.
QString probeTitleAt(const QByteArray& nativePath);

// The bmson title found in the first bytes of a file, as probeTitleAt reads it.
QString bmsonTitleIn(const QByteArray& head);

// The title found in the first bytes of a chart, as probeTitle reads them.
QString titleInText(const QByteArray& head);

// Where the first "#TITLE" line of these first bytes ends (at its CR or LF); nullopt while no such
// line has ended in them.
std::optional<qsizetype> titleLineEnd(QByteArrayView head);

}  // namespace carvel
