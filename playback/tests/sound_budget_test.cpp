#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QTemporaryDir>

#include "playback/chart_loader.h"
#include "playback/display_texts.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

// Twelve 1,000-frame mono sounds (2,000 bytes each as 16-bit samples), one of them missing and
// one broken, decoded on four threads under a budget. Admission follows line order whatever the
// threads do: the first sound that does not fit is refused, and so is every later one.
TEST(SoundBudget, AdmitsInLineOrderOnFourThreadsAndTheLoadEnds) {
    QTemporaryDir dir;
    QByteArray chart = "#TITLE budget\n";
    for (int i = 1; i <= 12; ++i) {
        const QString name = u"s%1.wav"_qs.arg(i, 2, 10, QChar(u'0'));
        if (i == 3) {
            testing::writeBytes(dir.filePath(name), "RIFF....WAVEjunk");
        } else if (i != 4) {
            testing::writeWav(dir.filePath(name), 1000);
        }
        chart += "#WAV" + QByteArray::number(i, 16).rightJustified(2, '0').toUpper() + ' ' +
                 name.toUtf8() + '\n';
    }
    chart += "#00101:01\n";
    testing::writeBytes(dir.filePath(u"c.bms"_qs), chart);

    struct Case {
        std::size_t budget;
        QList<int> admitted;
        QStringList messages;
    };
    const QString broken = u"Waveﾌｧｲﾙ s03.wav を読み込めません。(WAV03)"_qs;
    const QString missing = u"Waveﾌｧｲﾙ s04.wav が見つかりません。(WAV04)"_qs;
    const auto over = [](int i) {
        const QString index = QString::number(i, 16).rightJustified(2, u'0').toUpper();
        return u"Waveﾌｧｲﾙ s%1.wav を読み込めません。ｻｳﾝﾄﾞの合計が大きすぎます。(WAV%2)"_qs
            .arg(i, 2, 10, QChar(u'0'))
            .arg(index);
    };
    const Case cases[] = {
        {1'000'000, {1, 2, 5, 6, 7, 8, 9, 10, 11, 12}, {broken, missing}},
        {8'000,
         {1, 2, 5, 6},
         {broken, missing, over(7), over(8), over(9), over(10), over(11), over(12)}},
        {1'999,
         {},
         {over(1), over(2), broken, missing, over(5), over(6), over(7), over(8), over(9), over(10),
          over(11), over(12)}},
    };
    for (const Case& c : cases) {
        MediaOptions options;
        options.threads = 4;
        options.soundBudgetBytes = c.budget;
        const LoadedChart loaded = loadChart(dir.filePath(u"c.bms"_qs), options);
        QList<int> admitted;
        for (int i = 1; i <= 12; ++i) {
            if (loaded.media.sound(i) != nullptr) {
                admitted.append(i);
            }
        }
        EXPECT_EQ(admitted, c.admitted) << "budget " << c.budget;
        QStringList texts;
        for (const LoadMessage& m : loaded.messages) {
            texts.append(messageText(m));
        }
        EXPECT_EQ(texts, c.messages) << "budget " << c.budget;
    }
}

}  // namespace
}  // namespace carvel
