#include <gtest/gtest.h>
#include <sndfile.h>
#include "testing/qt_printers.h"

#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "testing/test_files.h"

namespace carvel {
namespace {

// The largest magnitude of the 16-bit samples of a WAV file; -1 when it cannot be read.
int peakOf(const QString& path) {
    SF_INFO info{};
    SNDFILE* wav = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (wav == nullptr) {
        return -1;
    }
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(wav, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(wav);
    int peak = 0;
    for (short s : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

TEST(RenderOptions, NormalizeSeedAndFull) {
    QTemporaryDir dir;
    testing::writeWav(dir.filePath(u"k.wav"_qs), 100, 44100, 3000);
    // Two voices at once: 6000 at the peak.
    testing::writeBytes(dir.filePath(u"two.bms"_qs),
                        "#WAV01 k.wav\n#WAV02 k.wav\n#00111:01\n#00112:02\n");
    testing::writeBytes(dir.filePath(u"none.bms"_qs), "#00111:01\n");
    struct Case {
        QStringList args;
        int status;
        QString err;  // standard error, exactly
        int peak;     // of o.wav; -1: not written
    };
    const Case cases[] = {
        {{u"two.bms"_qs}, 0, {}, 6000},
        {{u"--normalize"_qs, u"two.bms"_qs},
         0,
         u"ﾋﾟｰｸを -1 dBFS に合わせました (ｹﾞｲﾝ +13.75 dB)。\n"_qs,
         29204},
        {{u"--normalize"_qs, u"none.bms"_qs}, 0, u"無音のため、ｹﾞｲﾝは変えていません。\n"_qs, 0},
        {{u"--full"_qs, u"--seed"_qs, u"4294967295"_qs, u"two.bms"_qs}, 0, {}, 6000},
        {{u"--seed=-1"_qs, u"two.bms"_qs}, 2, {}, -1},
        {{u"--seed"_qs, u"4294967296"_qs, u"two.bms"_qs}, 2, {}, -1},
    };
    for (const Case& c : cases) {
        const std::string what = c.args.join(u' ').toStdString();
        QFile::remove(dir.filePath(u"o.wav"_qs));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(CARVEL_RENDER), c.args + QStringList{u"o.wav"_qs});
        ASSERT_TRUE(process.waitForFinished(30000)) << what;
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), c.status) << what;
        if (c.status == 2) {
            EXPECT_TRUE(
                err.startsWith(u"carvel-render: --seed takes a whole number, 0 to 4294967295\n"_qs))
                << what << err.toStdString();
        } else {
            EXPECT_EQ(err, c.err) << what;
        }
        EXPECT_EQ(peakOf(dir.filePath(u"o.wav"_qs)), c.peak) << what;
    }
}

}  // namespace
}  // namespace carvel
