#include "chart/chart_loader.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "chart/bar_length_pass.h"
#include "chart/channel_parser.h"
#include "chart/media_definitions.h"
#include "chart/text_helpers.h"
#include "platform/file_system.h"
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

}  // namespace

int LoadChart(const QString& path, QStringList& messages, ChartState& state,
              StatusObserver* observer, const LoadOptions& options) {
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (!fileExists(absolute)) {
        notifyLoadState(observer, QStringLiteral("読み込み状況 : 待機"));
        return 1;
    }
    state.strChartDir = withTrailingSlash(parentFolder(absolute));
    const std::optional<QStringList> lines = readTextLines(absolute);
    notifyLoadState(observer, QStringLiteral("読み込み状況 : ﾛｰﾄﾞ中 ..."));
    if (!lines) {
        messages.append(QStringLiteral("BMSﾌｧｲﾙ ") + path + QStringLiteral(" を読み込めません。"));
    }

    MediaDefinitions media(state, options.sampleRate);
    ChannelLineParser parser(state, observer);
    for (const QString& line : lines.value_or(QStringList())) {
        const QString head = line.left(4).toUpper();
        if (head == u"#WAV") {
            media.addSound(line);
        } else if (head == u"#BMP") {
            media.addPicture(line);
        }
        QString key;
        QString value;
        SplitHeaderLine(line, key, value);
        key = key.toUpper();
        if (key == u"TITLE") {
            state.strTitle = value;
        } else if (key == u"GENRE") {
            state.strGenre = value;
        } else if (key == u"ARTIST") {
            state.strArtist = value;
        } else if (key == u"BPM") {
            applyBpm(value, state);
        } else if (key == u"STAGEFILE") {
            media.addStage(value);
        } else {
            parser.ParseChannelLine(line);
        }
    }
    media.decodeAndApply(messages, options.threads);

    // The parser appends; one sort gives the text order that a sorted insertion would have kept.
    std::sort(state.List2.begin(), state.List2.end());

    notifyLoadState(observer, QStringLiteral("読み込み状況 : ﾛｰﾄﾞ完了"));
    notifyStatus(observer, QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。"));
    if (state.List2.empty()) {
        notifyStatus(observer, QStringLiteral("ｽﾃｰﾀｽ : 再生できません。"));
        messages.append(QStringLiteral("ｵﾌﾞｼﾞｪｸﾄがありません。"));
    }
    if (state.strBarLen.size() > 1) {
        applyBarLengths(state);
    }
    state.colEvents = state.List2;
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
