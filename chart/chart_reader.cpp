#include "chart/chart_reader.h"

#include <QFileInfo>
#include <cmath>
#include <new>

#include "chart/bar_length_pass.h"
#include "chart/bmson_reader.h"
#include "chart/channel_parser.h"
#include "chart/full_reader.h"
#include "chart/text_helpers.h"
#include "platform/file_system.h"
#include "platform/path_lookup.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

namespace {

// A tempo must be a number that rounds (half to even) to 1..32767; anything else keeps the previous
// tempo, since a chart at tempo 0 or below would never advance.
void applyBpm(QStringView value, Chart& chart) {
    bool ok = false;
    const double bpm = value.toDouble(&ok);
    if (!ok || !std::isfinite(bpm)) {
        return;
    }
    const double rounded = std::nearbyint(bpm);
    if (rounded < 1 || rounded > 32767) {
        return;
    }
    chart.bpm = static_cast<int>(rounded);
}

MediaRequest mediaRequest(MediaRequest::Kind kind, QStringView line, const QString& folder,
                          PathResolver& resolver) {
    MediaRequest request;
    request.kind = kind;
    request.indexText = line.mid(4, 2).toString();
    request.index = hexToInt(request.indexText);
    request.name = trimSpaces(line.mid(7)).toString();
    request.file = resolver.resolve(folder, request.name);
    // The format test looks at the end of the whole line, as written.
    request.notBitmap =
        kind == MediaRequest::Kind::Picture && line.right(4).compare(u".BMP", Qt::CaseInsensitive);
    return request;
}

}  // namespace

Chart readChartText(QStringView text, const QString& folder, ReadProgress* progress,
                    const ReadOptions& options) {
    if (options.mode == ReadingMode::Full) {
        return readFullChartText(text, folder, progress, options.seed);
    }
    Chart chart;
    chart.folder = folder;
    PathResolver resolver;
    std::vector<BarLength> barLengths;
    EventTable& table = chart.table();
    ChannelParser parser(table.events, barLengths);
    qsizetype reported = 0;
    forEachLine(text, [&](QStringView line) {
        if (progress != nullptr && progress->stopRequested()) {
            return;
        }
        const QStringView head = line.left(4);
        if (sameKey(head, u"#WAV")) {
            chart.media.push_back(mediaRequest(MediaRequest::Kind::Sound, line, folder, resolver));
        } else if (sameKey(head, u"#BMP")) {
            chart.media.push_back(
                mediaRequest(MediaRequest::Kind::Picture, line, folder, resolver));
        }
        if ((sameKey(head, u"#WAV") || sameKey(head, u"#BMP")) && hasBase36Letter(line.mid(4, 2))) {
            ++table.fullOnlyLines;
        }
        QStringView key;
        QStringView value;
        splitHeaderLine(line, key, value);
        if (sameKey(key, u"TITLE")) {
            chart.title = value.toString();
        } else if (sameKey(key, u"GENRE")) {
            chart.genre = value.toString();
        } else if (sameKey(key, u"ARTIST")) {
            chart.artist = value.toString();
        } else if (sameKey(key, u"BPM")) {
            applyBpm(value, chart);
        } else if (sameKey(key, u"STAGEFILE")) {
            MediaRequest stage;
            stage.kind = MediaRequest::Kind::Stage;
            stage.name = value.toString();
            stage.file = resolver.resolve(folder, stage.name);
            chart.media.push_back(std::move(stage));
        } else if (sameKey(key, u"RANDOM") || sameKey(key, u"SETRANDOM")) {
            ++table.fullOnlyLines;  // read as a channel line, it would do nothing
        } else {
            parser.parse(line);
            const auto count = static_cast<qsizetype>(table.events.size());
            if (progress != nullptr && count != reported) {
                reported = count;
                progress->eventCountChanged(count);
            }
        }
    });
    table.fullOnlyLines += parser.fullOnlyLines();
    sortEvents(table.events, table.barEndRatios);
    applyBarLengths(barLengths, table.events, table.barEndRatios);
    return chart;
}

ReadResult readChart(const QString& path, ReadProgress* progress, const ReadOptions& options) {
    ReadResult result;
    result.chart.setMode(options.mode);  // so that a chart that is not read shows the mode too
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (!fileExists(absolute)) {
        return result;
    }
    const QString folder = withTrailingSlash(parentFolder(absolute));
    result.chart.folder = folder;
    FileBytes file = readFileBytes(absolute, kMaxChartBytes);
    if (file.status == FileBytes::Status::TooLarge) {
        result.status = ReadResult::Status::TooLarge;
        return result;
    }
    if (file.status != FileBytes::Status::Ok) {
        result.status = ReadResult::Status::Unreadable;
        return result;
    }
    try {
        if (options.mode == ReadingMode::Full && isBmsonPath(absolute)) {
            result.chart = readBmson(file.bytes, folder, progress);
        } else {
            const QString text = decodeText(file.bytes);
            file.bytes = QByteArray();
            result.chart = readChartText(text, folder, progress, options);
        }
        result.status = ReadResult::Status::Read;
    } catch (const std::bad_alloc&) {
        // A partial table would play a chart the user never wrote: it loads empty instead.
        result.chart = Chart();
        result.chart.setMode(options.mode);
        result.chart.folder = folder;
        result.status = ReadResult::Status::OutOfMemory;
    }
    return result;
}

}  // namespace carvel
