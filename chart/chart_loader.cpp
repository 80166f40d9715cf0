#include "chart/chart_loader.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "chart/bar_length_pass.h"
#include "chart/channel_parser.h"
#include "chart/media_definitions.h"
#include "chart/text_helpers.h"
#include "platform/file_system.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {

namespace {

void notifyLoadState(StatusObserver* observer, const QString& text) {
    if (observer != nullptr) {
        observer->loadStateChanged(text);
    }
}

void notifyStatus(StatusObserver* observer, const QString& text) {
    if (observer != nullptr) {
        observer->statusChanged(text);
    }
}

// A tempo must be a number that rounds (half to even) to 1..32767; anything else keeps the previous
// tempo, since a chart at tempo 0 or below would never advance.
void applyBpm(const QString& value, ChartState& state) {
    bool ok = false;
    const double bpm = value.toDouble(&ok);
    if (!ok || !std::isfinite(bpm)) {
        return;
    }
    const double rounded = std::nearbyint(bpm);
    if (rounded < 1 || rounded > 32767) {
        return;
    }
    state.intBpm = static_cast<int>(rounded);
}

// The parser appends; one sort gives the text order that a sorted insertion would have kept (equal
// texts are indistinguishable). The parser's texts are at most 13 characters, so each fits a
// 16-byte key whose order is the text order: sorting the keys and writing the texts back is much
// faster than sorting strings.
void sortEvents(std::vector<std::string>& events) {
    constexpr size_t kKeyLength = 16;
    const bool fits = std::all_of(events.begin(), events.end(), [](const std::string& text) {
        return text.size() <= kKeyLength && text.find('\0') == std::string::npos;
    });
    if (!fits) {
        std::sort(events.begin(), events.end());
        return;
    }
    struct Key {
        std::array<char, kKeyLength> bytes;
        bool operator<(const Key& other) const {
            return std::memcmp(bytes.data(), other.bytes.data(), kKeyLength) < 0;
        }
    };
    std::vector<Key> keys(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        keys[i].bytes.fill('\0');
        std::memcpy(keys[i].bytes.data(), events[i].data(), events[i].size());
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < events.size(); ++i) {
        const char* bytes = keys[i].bytes.data();
        events[i].assign(bytes, strnlen(bytes, kKeyLength));
    }
}

bool is(QStringView text, QStringView name) {
    return text.compare(name, Qt::CaseInsensitive) == 0;
}

}  // namespace

namespace {

// Reads the lines and the media they name into the state; may throw std::bad_alloc, leaving the
// state partly filled.
void readChart(const QString& path, const QString& absolute, QStringList& messages,
               ChartState& state, StatusObserver* observer, const LoadOptions& options) {
    FileBytes file = readFileBytes(absolute, kMaxTextFileBytes);
    notifyLoadState(observer, QStringLiteral("読み込み状況 : ﾛｰﾄﾞ中 ..."));
    if (file.status == FileBytes::Status::TooLarge) {
        messages.append(QStringLiteral("BMSﾌｧｲﾙ ") + path + QStringLiteral(" は大きすぎます。"));
        return;
    }
    if (file.status != FileBytes::Status::Ok) {
        messages.append(QStringLiteral("BMSﾌｧｲﾙ ") + path + QStringLiteral(" を読み込めません。"));
        return;
    }
    QStringList lines = splitLines(decodeText(file.bytes));
    file.bytes = QByteArray();

    // A channel line holds at most one event per two characters; reserving that much up front
    // spares the copies and page faults of growing two large arrays step by step.
    qsizetype characters = 0;
    for (const QString& line : lines) {
        characters += line.size();
    }
    const auto estimate = static_cast<size_t>(std::min<qsizetype>(characters / 2, 1 << 24));
    try {
        state.List2.reserve(estimate);
        state.colEvents.reserve(estimate);
    } catch (const std::bad_alloc&) {
        // Only a saving: the arrays still grow as needed.
    }

    MediaDefinitions media(state, options.sampleRate, options.soundBudgetBytes);
    ChannelLineParser parser(state, observer);
    for (const QString& line : lines) {
        const QStringView head = QStringView(line).left(4);
        if (is(head, u"#WAV")) {
            media.addSound(line);
        } else if (is(head, u"#BMP")) {
            media.addPicture(line);
        }
        QString key;
        QString value;
        SplitHeaderLine(line, key, value);
        if (is(key, u"TITLE")) {
            state.strTitle = value;
        } else if (is(key, u"GENRE")) {
            state.strGenre = value;
        } else if (is(key, u"ARTIST")) {
            state.strArtist = value;
        } else if (is(key, u"BPM")) {
            applyBpm(value, state);
        } else if (is(key, u"STAGEFILE")) {
            media.addStage(value);
        } else {
            parser.ParseChannelLine(line);
        }
    }
    lines = QStringList();
    media.decodeAndApply(messages, options.threads);
    sortEvents(state.List2);
}

}  // namespace

int LoadChart(const QString& path, QStringList& messages, ChartState& state,
              StatusObserver* observer, const LoadOptions& options) {
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (!fileExists(absolute)) {
        notifyLoadState(observer, QStringLiteral("読み込み状況 : 待機"));
        return 1;
    }
    state.strChartDir = withTrailingSlash(parentFolder(absolute));
    try {
        readChart(path, absolute, messages, state, observer, options);
        if (state.strBarLen.size() > 1) {
            applyBarLengths(state);
        }
        state.colEvents = state.List2;
    } catch (const std::bad_alloc&) {
        // What was read is given up: the chart loads empty, with whatever sounds and pictures
        // were already in place.
        std::vector<std::string>().swap(state.List2);
        std::vector<std::string>().swap(state.colEvents);
        state.strBarLen = QStringList{QString()};
        messages.append(QStringLiteral("BMSﾌｧｲﾙ ") + path +
                        QStringLiteral(" を読み込むﾒﾓﾘが足りません。"));
    }

    notifyLoadState(observer, QStringLiteral("読み込み状況 : ﾛｰﾄﾞ完了"));
    notifyStatus(observer, QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。"));
    if (state.List2.empty()) {
        notifyStatus(observer, QStringLiteral("ｽﾃｰﾀｽ : 再生できません。"));
        messages.append(QStringLiteral("ｵﾌﾞｼﾞｪｸﾄがありません。"));
    }
    return 0;
}

int OpenChart(const QString& path, QStringList& messages, ChartState& state,
              StatusObserver* observer, const LoadOptions& options) {
    state.Reset();
    QStringList loadMessages;
    const int result = LoadChart(path, loadMessages, state, observer, options);
    if (result == 1) {
        messages.append(QStringLiteral("BMSﾌｧｲﾙ ") + path + QStringLiteral(" が見つかりません。"));
    }
    messages.append(loadMessages);
    return result;
}

}  // namespace carvel
