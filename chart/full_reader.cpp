#include "chart/full_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>

#include "chart/channels.h"
#include "chart/full_timeline.h"
#include "chart/index_alphabet.h"
#include "chart/random_branches.h"
#include "chart/text_helpers.h"
#include "platform/path_lookup.h"
#include "platform/text_file.h"

namespace carvel {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A header or control line's key (without '#') and its value, blanks around both dropped.
struct KeyValue {
    QStringView key;
    QStringView value;
};
KeyValue keyValue(QStringView line) {
    qsizetype end = 1;
    while (end < line.size() && !isBlank(line[end])) {
        ++end;
    }
    return {line.sliced(1, end - 1), trimBlanks(line.sliced(end))};
}

bool isChannelLine(QStringView line) {
    return line.size() >= 7 && line[6] == u':' && isDigit(line[1]) && isDigit(line[2]) &&
           isDigit(line[3]);
}

// Whether a line's bytes are a channel line as isChannelLine reads it, of printable ASCII only
// (so without blanks to trim).
bool isPlainChannelLine(QByteArrayView line) {
    if (line.size() < 7 || line[0] != '#' || line[6] != ':' || !LineDecoder::isPlain(line)) {
        return false;
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(line[1]) && digit(line[2]) && digit(line[3]);
}

// The #CASE values of each switch in the lines that forEachRest gives, in the order of the lines
// that open them; a switch's own cases only, not those of the switches nested in it.
template <typename ForEachRest>
std::vector<std::vector<std::int64_t>> switchCases(ForEachRest forEachRest) {
    std::vector<std::vector<std::int64_t>> cases;
    std::vector<size_t> open;  // the switches not closed yet, by their place in cases
    forEachRest([&](QStringView raw) {
        const QStringView line = trimBlanks(raw);
        if (line.size() < 2 || line.front() != u'#' || isChannelLine(line)) {
            return;
        }
        const auto [key, value] = keyValue(line);
        if (RandomBranches::opensSwitch(key)) {
            open.push_back(cases.size());
            cases.emplace_back();
        } else if (!open.empty() && sameKey(key, u"CASE")) {
            cases[open.back()].push_back(RandomBranches::integerOf(value));
        } else if (!open.empty() && sameKey(key, u"ENDSW")) {
            open.pop_back();
        }
    });
    return cases;
}

// A #BPMxx or #STOPxx line as written; the index is read once #BASE is known.
struct Definition {
    QString index;
    QString text;
};

// A #WAVxx, #BMPxx or #STAGEFILE line as written.
struct MediaLine {
    MediaRequest::Kind kind = MediaRequest::Kind::Sound;
    QString index;
    QString name;
};

// Reads line by line. Channel lines are kept as bytes: the plain ones (printable ASCII, as most
// are) where they stand in the chart's bytes, which the caller keeps until finish; the others as a
// copy in which every character beyond ASCII is one byte 0x80, which no alphabet holds.
class FullReader {
  public:
    FullReader(const QString& folder, std::optional<std::uint32_t> seed) : branches_(seed) {
        chart_.setMode(ReadingMode::Full);
        chart_.folder = folder;
    }

    // forEachRest(f) calls f(QStringView) for this line and each one after it.
    template <typename ForEachRest>
    void line(QStringView raw, ForEachRest forEachRest);
    // A line of printable ASCII (no blanks) that isChannelLine holds, read as the characters its
    // bytes are.
    void plainChannelLine(std::string_view line) {
        channelLine(line.substr(7), line[1], line[2], line[3],
                    channelValue(QLatin1Char(line[4]), QLatin1Char(line[5])));
    }
    // bytesDone, when given, is told as the events are placed where the lines that still count
    // begin in bytes.
    Chart finish(ReadProgress* progress, QByteArrayView bytes = {},
                 const BytesDone& bytesDone = nullptr);

  private:
    void channelLine(std::string_view data, char16_t m0, char16_t m1, char16_t m2, int channel);
    void header(QStringView key, QStringView value);
    void resolveMedia(ReadProgress* progress);
    void resolveDefinitions();

    RandomBranches branches_;
    bool switchesKnown_ = false;
    Chart chart_;
    FullDefinitions defs_;
    std::vector<ChannelLine> lines_;
    std::deque<std::string> copies_;  // the data of channel lines that are not plain
    std::vector<MediaLine> media_;    // in line order
    std::vector<Definition> bpms_;
    std::vector<Definition> stops_;
    std::vector<QString> lnobjs_;
};

void FullReader::channelLine(std::string_view data, char16_t m0, char16_t m1, char16_t m2,
                             int channel) {
    if (branches_.reading() && channels::isRead(channel)) {
        const int measure = (m0 - u'0') * 100 + (m1 - u'0') * 10 + (m2 - u'0');
        lines_.push_back(
            {data, static_cast<std::int16_t>(measure), static_cast<std::uint16_t>(channel)});
    }
}

template <typename ForEachRest>
void FullReader::line(QStringView raw, ForEachRest forEachRest) {
    const QStringView line = trimBlanks(raw);
    if (line.size() < 2 || line.front() != u'#') {
        return;
    }
    // "#mmmcc:data": three digits of measure, two base-36 characters of channel.
    if (isChannelLine(line)) {
        const int channel = channelValue(line[4], line[5]);
        if (!branches_.reading() || !channels::isRead(channel)) {
            return;
        }
        const QStringView data = trimBlanks(line.sliced(7));
        std::string& bytes = copies_.emplace_back(static_cast<size_t>(data.size()), '\x80');
        for (qsizetype i = 0; i < data.size(); ++i) {
            if (data[i].unicode() < 0x80) {
                bytes[static_cast<size_t>(i)] = static_cast<char>(data[i].unicode());
            }
        }
        channelLine(bytes, line[1].unicode(), line[2].unicode(), line[3].unicode(), channel);
        return;
    }
    const auto [key, value] = keyValue(line);
    if (!switchesKnown_ && RandomBranches::opensSwitch(key)) {
        // Whether a #DEF is read depends on the #CASE lines after it: the switches are looked
        // through once, from the first on, and only in charts that have one.
        switchesKnown_ = true;
        branches_.setSwitchCases(switchCases(forEachRest));
    }
    if (!branches_.control(key, value) && branches_.reading()) {
        header(key, value);
    }
}

void FullReader::header(QStringView key, QStringView value) {
    if (sameKey(key, u"TITLE")) {
        chart_.title = value.toString();
    } else if (sameKey(key, u"SUBTITLE")) {
        chart_.subtitle = value.toString();
    } else if (sameKey(key, u"GENRE")) {
        chart_.genre = value.toString();
    } else if (sameKey(key, u"ARTIST")) {
        chart_.artist = value.toString();
    } else if (sameKey(key, u"PLAYLEVEL")) {
        chart_.playLevel = value.toString();
    } else if (sameKey(key, u"DIFFICULTY")) {
        chart_.difficulty = value.toString();
    } else if (sameKey(key, u"BPM")) {
        const long double bpm = leadingDecimal(value);
        if (bpm > 0) {
            defs_.startBpm = bpm;
        }
    } else if (sameKey(key, u"BASE")) {
        defs_.base = leadingNumber(value) == 62 ? IndexBase::Base62 : IndexBase::Base36;
    } else if (sameKey(key, u"LNOBJ")) {
        lnobjs_.push_back(value.toString());
    } else if (sameKey(key, u"STAGEFILE")) {
        media_.push_back({MediaRequest::Kind::Stage, {}, value.toString()});
    } else if (key.size() == 5 && sameKey(key.first(3), u"WAV")) {
        media_.push_back({MediaRequest::Kind::Sound, key.sliced(3).toString(), value.toString()});
    } else if (key.size() == 5 && sameKey(key.first(3), u"BMP")) {
        media_.push_back({MediaRequest::Kind::Picture, key.sliced(3).toString(), value.toString()});
    } else if (key.size() == 5 && sameKey(key.first(3), u"BPM")) {
        bpms_.push_back({key.sliced(3).toString(), value.toString()});
    } else if (key.size() == 7 && sameKey(key.first(5), u"EXBPM")) {
        bpms_.push_back({key.sliced(5).toString(), value.toString()});
    } else if (key.size() == 6 && sameKey(key.first(4), u"STOP")) {
        stops_.push_back({key.sliced(4).toString(), value.toString()});
    }
}

// Requests in line order; a definition without a name, or whose index is outside the alphabet or
// 00 (but for #BMP00, the Miss picture of charts that choose none), names nothing and is left out.
void FullReader::resolveMedia(ReadProgress* progress) {
    PathResolver resolver(true);
    for (const MediaLine& d : media_) {
        if (progress != nullptr && progress->stopRequested()) {
            return;
        }
        MediaRequest request;
        request.kind = d.kind;
        if (d.kind != MediaRequest::Kind::Stage) {
            request.index = indexValue(d.index, defs_.base);
            request.indexText = d.index;
            if (request.index < 0 ||
                (request.index == 0 && d.kind != MediaRequest::Kind::Picture)) {
                continue;
            }
        }
        if (d.name.isEmpty()) {
            continue;
        }
        request.name = d.name;
        request.file = resolver.resolve(chart_.folder, request.name);
        request.video =
            d.kind == MediaRequest::Kind::Picture && PathResolver::namesVideo(request.name);
        chart_.media.push_back(std::move(request));
    }
}

void FullReader::resolveDefinitions() {
    const auto fill = [&](const std::vector<Definition>& lines, std::vector<long double>& table) {
        for (const Definition& d : lines) {
            const int index = indexValue(d.index, defs_.base);
            if (index > 0) {
                if (table.size() <= static_cast<size_t>(index)) {
                    table.resize(static_cast<size_t>(index) + 1);
                }
                table[static_cast<size_t>(index)] = leadingDecimal(d.text);
            }
        }
    };
    fill(bpms_, defs_.bpms);
    fill(stops_, defs_.stops);
    for (const QString& text : lnobjs_) {
        const int index = indexValue(text, defs_.base);
        if (index > 0) {
            defs_.lnobj = index;
        }
    }
    // The last valid length of a measure wins.
    for (const ChannelLine& line : lines_) {
        if (line.channel == channels::kBarLength) {
            const long double ratio = leadingDecimal(QString::fromLatin1(line.data));
            if (ratio > 0) {
                defs_.measureBeats[static_cast<size_t>(line.measure)] = 4 * ratio;
            }
        }
    }
}

Chart FullReader::finish(ReadProgress* progress, QByteArrayView bytes, const BytesDone& bytesDone) {
    resolveMedia(progress);
    resolveDefinitions();
    chart_.startBpm = static_cast<double>(defs_.startBpm);
    chart_.bpm = static_cast<int>(std::clamp(std::nearbyint(chart_.startBpm), 1.0, 32767.0));
    if (!bytesDone) {
        chart_.timeline() = placeEvents(lines_, defs_, progress);
        return std::move(chart_);
    }
    // Lines that are copies do not hold the bytes back: what is done ends at the first line from
    // the one given on that stands in the bytes.
    const auto inBytes = [&](std::string_view data) {
        const auto at = reinterpret_cast<std::uintptr_t>(data.data());
        const auto first = reinterpret_cast<std::uintptr_t>(bytes.data());
        return at >= first && at <= first + static_cast<std::uintptr_t>(bytes.size());
    };
    size_t next = 0;
    chart_.timeline() = placeEvents(lines_, defs_, progress, [&](size_t done) {
        next = std::max(next, done);
        while (next < lines_.size() && !inBytes(lines_[next].data)) {
            ++next;
        }
        bytesDone(next < lines_.size() ? lines_[next].data.data() : bytes.data() + bytes.size());
    });
    return std::move(chart_);
}

}  // namespace

Chart readFullChartText(QStringView text, const QString& folder, ReadProgress* progress,
                        std::optional<std::uint32_t> seed) {
    FullReader reader(folder, seed);
    forEachLine(text, [&](QStringView line) {
        if (progress == nullptr || !progress->stopRequested()) {
            reader.line(line, [&](auto visit) {
                forEachLine(text.sliced(line.data() - text.data()), visit);
            });
        }
    });
    return reader.finish(progress);
}

Chart readFullChartBytes(const LineDecoder& decoder, const QString& folder, ReadProgress* progress,
                         std::optional<std::uint32_t> seed, const BytesDone& bytesDone) {
    FullReader reader(folder, seed);
    const QByteArrayView bytes = decoder.text();
    forEachLine(bytes, [&](QByteArrayView line) {
        if (progress != nullptr && progress->stopRequested()) {
            return;
        }
        if (isPlainChannelLine(line)) {
            reader.plainChannelLine(
                std::string_view(line.data(), static_cast<size_t>(line.size())));
            return;
        }
        reader.line(decoder.decode(line), [&](auto visit) {
            forEachLine(bytes.sliced(line.data() - bytes.data()),
                        [&](QByteArrayView rest) { visit(decoder.decode(rest)); });
        });
    });
    return reader.finish(progress, bytes, bytesDone);
}

}  // namespace carvel
