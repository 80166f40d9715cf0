#include "chart/chart_reader.h"

#include <QFileInfo>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "chart/bar_length_pass.h"
#include "chart/bmson_reader.h"
#include "chart/channel_parser.h"
#include "chart/full_reader.h"
#include "chart/text_helpers.h"
#include "platform/file_system.h"
#include "platform/page_release.h"
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

// The classic reading, line by line: lines as text, or channel lines as bytes.
class ClassicReader {
  public:
    ClassicReader(const QString& folder, ReadProgress* progress)
        : folder_(folder),
          progress_(progress),
          sorter_(chart_.table().events),
          parser_(sorter_, barLengths_) {
        chart_.folder = folder;
    }

    EventTable& table() { return chart_.table(); }
    bool stopRequested() const { return progress_ != nullptr && progress_->stopRequested(); }
    void line(QStringView line);
    // A line of printable ASCII without spaces that does not start with #WAV or #BMP: what line()
    // would hand to the parser as it is.
    void channelLine(std::string_view line) {
        parser_.parse(line);
        reportCount();
    }
    Chart finish();

  private:
    void reportCount() {
        const auto count = static_cast<qsizetype>(sorter_.count());
        if (progress_ != nullptr && count != reported_) {
            reported_ = count;
            progress_->eventCountChanged(count);
        }
    }

    Chart chart_;
    QString folder_;
    ReadProgress* progress_;
    PathResolver resolver_;
    std::vector<BarLength> barLengths_;
    MeasureSorter sorter_;
    ChannelParser parser_;
    qsizetype reported_ = 0;
};

void ClassicReader::line(QStringView line) {
    EventTable& table = chart_.table();
    const QStringView head = line.left(4);
    if (sameKey(head, u"#WAV")) {
        chart_.media.push_back(mediaRequest(MediaRequest::Kind::Sound, line, folder_, resolver_));
    } else if (sameKey(head, u"#BMP")) {
        chart_.media.push_back(mediaRequest(MediaRequest::Kind::Picture, line, folder_, resolver_));
    }
    if ((sameKey(head, u"#WAV") || sameKey(head, u"#BMP")) && hasBase36Letter(line.mid(4, 2))) {
        ++table.fullOnlyLines;
    }
    QStringView key;
    QStringView value;
    splitHeaderLine(line, key, value);
    if (sameKey(key, u"TITLE")) {
        chart_.title = value.toString();
    } else if (sameKey(key, u"GENRE")) {
        chart_.genre = value.toString();
    } else if (sameKey(key, u"ARTIST")) {
        chart_.artist = value.toString();
    } else if (sameKey(key, u"BPM")) {
        applyBpm(value, chart_);
    } else if (sameKey(key, u"STAGEFILE")) {
        MediaRequest stage;
        stage.kind = MediaRequest::Kind::Stage;
        stage.name = value.toString();
        stage.file = resolver_.resolve(folder_, stage.name);
        chart_.media.push_back(std::move(stage));
    } else if (sameKey(key, u"RANDOM") || sameKey(key, u"SETRANDOM")) {
        ++table.fullOnlyLines;  // read as a channel line, it would do nothing
    } else {
        parser_.parse(line);
        reportCount();
    }
}

Chart ClassicReader::finish() {
    EventTable& table = chart_.table();
    table.fullOnlyLines += parser_.fullOnlyLines();
    sorter_.finish();
    if (!sorter_.inOrder()) {
        sortEvents(table.events, table.barEndRatios);
    }
    applyBarLengths(barLengths_, table.events, table.barEndRatios);
    return std::move(chart_);
}

bool startsWithKey(std::string_view line, std::string_view key) {
    if (line.size() < key.size()) {
        return false;
    }
    for (size_t i = 0; i < key.size(); ++i) {
        if ((line[i] | 0x20) != (key[i] | 0x20)) {
            return false;
        }
    }
    return true;
}

// Whether line() would treat a line of these bytes as the parser's, and the bytes are the
// characters they decode to.
bool isPlainChannelLine(QByteArrayView bytes) {
    if (!LineDecoder::isPlain(bytes)) {
        return false;
    }
    const std::string_view line(bytes.data(), static_cast<size_t>(bytes.size()));
    return !startsWithKey(line, "#wav") && !startsWithKey(line, "#bmp");
}

// An upper bound of the events that the lines of bytes give: two characters each.
size_t eventBound(QByteArrayView bytes) {
    size_t pairs = 0;
    forEachLine(bytes, [&](QByteArrayView line) {
        if (line.size() > 7 && line[0] == '#' && line[6] == ':') {
            pairs += static_cast<size_t>(line.size() - 7) / 2;
        }
    });
    return pairs;
}

}  // namespace

Chart readChartText(QStringView text, const QString& folder, ReadProgress* progress,
                    const ReadOptions& options) {
    if (options.mode == ReadingMode::Full) {
        return readFullChartText(text, folder, progress, options.seed);
    }
    ClassicReader reader(folder, progress);
    forEachLine(text, [&](QStringView line) {
        if (!reader.stopRequested()) {
            reader.line(line);
        }
    });
    return reader.finish();
}

namespace {

// The bytes of a chart that the reading owns: the pages before the line being read go back to the
// system as the reading passes them (their content becomes zeros; nothing reads it again), and
// all of them once every line is read, so that the bytes and the events are not held in full
// together.
class OwnedBytes {
  public:
    explicit OwnedBytes(QByteArray& bytes) : bytes_(bytes), start_(bytes.data()) {
        released_ = start_;
    }
    QByteArrayView view() const { return {start_, bytes_.size()}; }

    // Called with the start of each line, in order.
    void reading(const char* line) {
        constexpr std::ptrdiff_t kStep = std::ptrdiff_t{1} << 20;
        if (line - released_ < kStep) {
            return;
        }
        released_ = releasePages(released_, line);
    }
    void readAll() { bytes_ = QByteArray(); }

  private:
    QByteArray& bytes_;
    char* start_;  // taken before any view of the bytes, so that no detach can move them
    const char* released_;
};

// Bytes the caller keeps.
struct BorrowedBytes {
    void reading(const char* /*line*/) {}
    void readAll() {}
};

// The byte reading; owner is told where the lines have got to, and when all are read (before the
// table is sorted and its bar lengths applied).
template <typename Owner>
Chart readBytes(QByteArrayView bytes, const QString& folder, ReadProgress* progress,
                const ReadOptions& options, Owner& owner) {
    const LineDecoder decoder(bytes);
    if (!decoder.byLines()) {
        return readChartText(decodeText(bytes), folder, progress, options);
    }
    if (options.mode == ReadingMode::Full) {
        return readFullChartBytes(decoder, folder, progress, options.seed,
                                  [&](const char* done) { owner.reading(done); });
    }
    ClassicReader reader(folder, progress);
    std::vector<Event>& events = reader.table().events;
    events.reserve(eventBound(decoder.text()));
    adviseLargePages(events.data(), events.capacity() * sizeof(Event));
    forEachLine(decoder.text(), [&](QByteArrayView line) {
        if (reader.stopRequested()) {
            return;
        }
        owner.reading(line.data());
        if (isPlainChannelLine(line)) {
            reader.channelLine(std::string_view(line.data(), static_cast<size_t>(line.size())));
        } else {
            reader.line(decoder.decode(line));
        }
    });
    owner.readAll();
    return reader.finish();
}

}  // namespace

Chart readChartBytes(QByteArrayView bytes, const QString& folder, ReadProgress* progress,
                     const ReadOptions& options) {
    BorrowedBytes borrowed;
    return readBytes(bytes, folder, progress, options, borrowed);
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
        } else if (file.bytes.startsWith("\xFF\xFE") || file.bytes.startsWith("\xFE\xFF")) {
            // UTF-16 is read as a whole text: the bytes go before it is read.
            const QString text = decodeText(file.bytes);
            file.bytes = QByteArray();
            result.chart = readChartText(text, folder, progress, options);
        } else {
            OwnedBytes owned(file.bytes);
            result.chart = readBytes(owned.view(), folder, progress, options, owned);
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
