#include "playback/display_texts.h"

#include <QStringList>

namespace carvel {

QString loadStateText(LoadState state) {
    switch (state) {
        case LoadState::Waiting:
            return QStringLiteral("読み込み状況 : 待機");
        case LoadState::Loading:
            return QStringLiteral("読み込み状況 : ﾛｰﾄﾞ中 ...");
        case LoadState::Loaded:
            return QStringLiteral("読み込み状況 : ﾛｰﾄﾞ完了");
    }
    return {};
}

QString statusText(PlayerStatus status) {
    switch (status) {
        case PlayerStatus::NoFile:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙは開かれていません");
        case PlayerStatus::NotFound:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙが見つかりません。");
        case PlayerStatus::Opened:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。");
        case PlayerStatus::CannotPlay:
            return QStringLiteral("ｽﾃｰﾀｽ : 再生できません。");
        case PlayerStatus::TooLarge:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙが大きすぎます。");
        case PlayerStatus::Unreadable:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾌｧｲﾙを読み込めません。");
        case PlayerStatus::OutOfMemory:
            return QStringLiteral("ｽﾃｰﾀｽ : ﾒﾓﾘが足りません。");
        case PlayerStatus::Playing:
            return QStringLiteral("ｽﾃｰﾀｽ : 再生中です。");
        case PlayerStatus::LoadingMedia:
            return QStringLiteral("ｽﾃｰﾀｽ : 読み込み中です。");
        case PlayerStatus::Stopped:
            return QStringLiteral("ｽﾃｰﾀｽ : 停止しました。");
        case PlayerStatus::Completed:
            return QStringLiteral("ｽﾃｰﾀｽ : 再生が完了しました。");
        case PlayerStatus::NothingForLong:
            return QStringLiteral("ｽﾃｰﾀｽ : 次の音まで10分以上あるため、演奏を終了します。");
    }
    return {};
}

QString messageText(const LoadMessage& m) {
    using Kind = LoadMessage::Kind;
    switch (m.kind) {
        case Kind::ChartNotFound:
            return QStringLiteral("BMSﾌｧｲﾙ ") + m.name + QStringLiteral(" が見つかりません。");
        case Kind::ChartUnreadable:
            return QStringLiteral("BMSﾌｧｲﾙ ") + m.name + QStringLiteral(" を読み込めません。");
        case Kind::ChartTooLarge:
            return QStringLiteral("BMSﾌｧｲﾙ ") + m.name + QStringLiteral(" は大きすぎます。");
        case Kind::ChartOutOfMemory:
            return QStringLiteral("BMSﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込むﾒﾓﾘが足りません。");
        case Kind::NoEvents:
            return QStringLiteral("ｵﾌﾞｼﾞｪｸﾄがありません。");
        case Kind::SoundNotFound:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" が見つかりません。(WAV") + m.index + u')';
        case Kind::SoundUnreadable:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込めません。(WAV") + m.index + u')';
        case Kind::SoundRateUnsupported:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name + QStringLiteral(" のｻﾝﾌﾟﾙﾚｰﾄ (") +
                   QString::number(m.number) + QStringLiteral(" Hz) には対応していません。(WAV") +
                   m.index + u')';
        case Kind::SoundTooLong:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name + QStringLiteral(" は長すぎます。(WAV") +
                   m.index + u')';
        case Kind::SoundCutOff:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" は途中までしか読めません。(WAV") + m.index + u')';
        case Kind::SoundOverBudget:
            return QStringLiteral("Waveﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込めません。ｻｳﾝﾄﾞの合計が大きすぎます。(WAV") + m.index +
                   u')';
        case Kind::PictureNotFound:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name + QStringLiteral(" が見つかりません。(BMP") +
                   m.index + u')';
        case Kind::PictureNotBitmap:
            return QStringLiteral("bmp 形式以外の画像を表示することはできません。");
        case Kind::PictureUnreadable:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name + QStringLiteral(" を読み込めません。(BMP") +
                   m.index + u')';
        case Kind::PictureOverBudget:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込めません。画像の合計が大きすぎます。(BMP") + m.index +
                   u')';
        case Kind::VideoNotFound:
            return QStringLiteral("動画ﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" が見つかりません。(BMP") + m.index + u')';
        case Kind::VideoUnplayable:
            return QStringLiteral("動画ﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を再生できません。(BMP") + m.index + u')';
        case Kind::StageNotFound:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" が見つかりません。(STAGEFILE)");
        case Kind::StageUnreadable:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込めません。(STAGEFILE)");
        case Kind::BmsonInvalid:
            return QStringLiteral("bmson として読めません: ") + m.name + QStringLiteral(" (") +
                   QString::number(m.number) + QStringLiteral(" ﾊﾞｲﾄ目)。");
        case Kind::BmsonField:
            return QStringLiteral("bmson の ") + m.name +
                   QStringLiteral(" が正しくありません。読めるところだけ読みます。");
        case Kind::StageOverBudget:
            return QStringLiteral("Bmpﾌｧｲﾙ ") + m.name +
                   QStringLiteral(" を読み込めません。画像の合計が大きすぎます。(STAGEFILE)");
    }
    return {};
}

QString informationText(const Chart& chart) {
    QStringList lines;
    for (const auto& [label, value] : headerFields(chart)) {
        lines.append(label + QStringLiteral(" : ") + value);
    }
    if (chart.mode() == ReadingMode::Full) {
        lines.append(QStringLiteral("MODE : 拡張"));
    }
    return lines.join(QStringLiteral("\r\n"));
}

QString noSoundDeviceText(const QString& reason) {
    return QStringLiteral("サウンドデバイスを開けません (") + reason +
           QStringLiteral(")。音を出さずに再生します。");
}

QString untitledText() {
    return QStringLiteral("無題");
}

}  // namespace carvel
