#pragma once

#include <QByteArray>
#include <QString>

#include "chart/chart.h"

namespace carvel {

// Chart files larger than this are not read.
inline constexpr qint64 kMaxChartBytes = qint64{64} << 20;

// Told how many events a read has found so far, after each line that added some.
class ReadProgress {
  public:
    virtual ~ReadProgress() = default;
    virtual void eventCountChanged(qsizetype count) = 0;
    // Asked between lines: true ends the read early, and what it returns is to be discarded.
    virtual bool stopRequested() { return false; }
};

struct ReadResult {
    enum class Status { Read, NotFound, Unreadable, TooLarge, OutOfMemory };
    Status status = Status::NotFound;
    Chart chart;  // the defaults when the file was not read
};

// Reads a chart file (UTF-8 or CP932 text, any line break): header fields, the event table, and
// the media its #WAV, #BMP and #STAGEFILE lines name, with their files looked up relative to the
// chart's folder. The full reading reads a ".bmson" file as bmson. Lines it cannot use are skipped
// without a word. path is decoded text (see nativePath) and may be relative to the working folder.
ReadResult readChart(const QString& path, ReadProgress* progress = nullptr,
                     const ReadOptions& options = {});

// Reads a chart file's bytes that are already in memory, as readChart reads the file; media names
// are looked up in folder (ending in '/'). Only the lines a person reads are decoded to text.
Chart readChartBytes(QByteArrayView bytes, const QString& folder, ReadProgress* progress = nullptr,
                     const ReadOptions& options = {});

// Reads chart text that is already in memory; media names are looked up in folder (ending in '/').
Chart readChartText(QStringView text, const QString& folder, ReadProgress* progress = nullptr,
                    const ReadOptions& options = {});

}  // namespace carvel
