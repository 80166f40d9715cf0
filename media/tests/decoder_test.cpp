#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <samplerate.h>
#include <sndfile.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "testing/test_files.h"

namespace carvel::media {
namespace {

QString writeSound(const QTemporaryDir& dir, const char* name, int format, int channels, int rate,
                   int frames) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    const QByteArray encoded = QFile::encodeName(path);
    SNDFILE* f = sf_open(encoded.constData(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
    if (f == nullptr) {
        return path;
    }
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = (i % static_cast<size_t>(channels)) == 0 ? 0.5f : -0.25f;
    }
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return path;
}

// A sound's samples as the mixer hears them: interleaved stereo floats.
std::vector<float> asStereo(const Sound& sound) {
    std::vector<float> out;
    for (std::int64_t i = 0; i < sound.frames() * sound.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        const float v =
            sound.pcm16.empty() ? sound.pcm[k] : static_cast<float>(sound.pcm16[k]) * kPcm16Scale;
        out.push_back(v);
        if (sound.channels == 1) {
            out.push_back(v);
        }
    }
    return out;
}

TEST(DecodeSound, FormatsByContent) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        int format;
        int channels;
        float left, right;
        bool pcm16;  // held as 16-bit samples
        int kept;    // channels held
    };
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0.5f, -0.25f, true, 2},
        {"pcm8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 0.5f, 0.5f, true, 1},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 0.5f, -0.25f, false, 2},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 0.5f, -0.25f, false, 2},
        {"adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 0.5f, 0.5f, true, 1},
        {"flac-named.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 0.5f, -0.25f, true, 2},
        {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 0.5f, -0.25f, false, 2},
        {"quad.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 0.5f, -0.25f, true, 2},
    };
    for (const Case& c : cases) {
        const QString path = writeSound(dir, c.name, c.format, c.channels, 44100, 4410);
        SoundPtr sound = decodeSound(QFile::encodeName(path), 44100, SamplePrecision::Exact);
        ASSERT_NE(sound, nullptr) << c.name;
        EXPECT_EQ(sound->sampleRate, 44100);
        // ADPCM pads its last block with silence.
        if ((c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_IMA_ADPCM) {
            EXPECT_GE(sound->frames(), 4410) << c.name;
        } else {
            EXPECT_NEAR(static_cast<double>(sound->frames()), 4410, 4410 * 0.02) << c.name;
        }
        EXPECT_EQ(!sound->pcm16.empty(), c.pcm16) << c.name;
        EXPECT_EQ(sound->channels, c.kept) << c.name;
        const std::vector<float> stereo = asStereo(*sound);
        const size_t mid = static_cast<size_t>(sound->frames() / 2) * 2;
        const float tolerance = c.format & SF_FORMAT_VORBIS ? 0.1f : 0.02f;
        EXPECT_NEAR(stereo[mid], c.left, tolerance) << c.name;
        EXPECT_NEAR(stereo[mid + 1], c.right, tolerance) << c.name;

        // 16-bit samples are exactly what reading the file as floats gives.
        if (c.pcm16) {
            SF_INFO info{};
            SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
            ASSERT_NE(f, nullptr);
            std::vector<float> floats(static_cast<size_t>(info.frames * info.channels));
            sf_readf_float(f, floats.data(), info.frames);
            sf_close(f);
            for (std::int64_t i = 0; i < sound->frames(); ++i) {
                for (int side = 0; side < 2; ++side) {
                    const auto k =
                        static_cast<size_t>(i * info.channels + std::min(side, info.channels - 1));
                    ASSERT_EQ(stereo[static_cast<size_t>(2 * i + side)], floats[k]) << c.name;
                }
            }
        }
    }
}

TEST(DecodeSound, ConvertsRateAndRejectsGarbage) {
    QTemporaryDir dir;
    const QString path =
        writeSound(dir, "22k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 22050);
    SoundPtr sound = decodeSound(QFile::encodeName(path), 48000);
    ASSERT_NE(sound, nullptr);
    EXPECT_NEAR(static_cast<double>(sound->frames()), 48000, 2);

    const QString garbage = dir.filePath(u"garbage.wav"_qs);
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF\xff\xff\xff\x7fWAVEfmt garbage garbage garbage");
    f.close();
    EXPECT_EQ(decodeSound(QFile::encodeName(garbage), 44100), nullptr);
    EXPECT_EQ(decodeSound(QFile::encodeName(dir.filePath(u"missing.wav"_qs)), 44100), nullptr);
    EXPECT_EQ(decodeSound(QFile::encodeName(dir.path()), 44100), nullptr);
}

TEST(SoundFile, MeasuresAndRefusesFromTheHeader) {
    QTemporaryDir dir;
    using Status = SoundFile::Status;
    struct Case {
        quint32 rate;
        quint32 frames;
        int outputRate;
        Status status;
        std::size_t bytes;
    };
    const Case cases[] = {
        {999, 10, 44100, Status::UnsupportedRate, 0},
        // Compact: 16-bit mono, converted or not.
        {1000, 10, 1000, Status::Ok, 10 * 2},
        {384000, 10, 384000, Status::Ok, 10 * 2},
        {384001, 10, 44100, Status::UnsupportedRate, 0},
        {22050, 10, 44100, Status::Ok, (20 + 16) * 2},  // the converter's slack
        {1000, 600'000, 1000, Status::Ok, 600'000 * 2},
        {1000, 600'001, 1000, Status::TooLong, 0},
        // Ten minutes at the output rate, whatever the file's rate.
        {44100, 600 * 44100, 8000, Status::Ok, (600 * 8000 + 16) * 2},
        {44100, 600 * 44100 + 1, 8000, Status::TooLong, 0},
    };
    for (const Case& c : cases) {
        const std::string name = "r" + std::to_string(c.rate) + "-" + std::to_string(c.frames);
        const QString path = dir.filePath(QString::fromStdString(name));
        testing::writeSparseWav(path, c.rate, c.frames);
        SoundFile file(QFile::encodeName(path), c.outputRate);
        EXPECT_EQ(file.status(), c.status) << name;
        EXPECT_EQ(file.fileRate(), static_cast<int>(c.rate)) << name;
        EXPECT_EQ(file.decodedBytes(), c.bytes) << name;
        if (c.status != Status::Ok) {
            EXPECT_EQ(file.decode(), nullptr) << name;
        }
    }
}

// Converting chunk by chunk must give exactly the samples of one conversion of the whole sound,
// with both sides alike for a mono sound.
TEST(SoundFile, ConversionInChunksMatchesOneShot) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        int format, channels, rate, outputRate;
    };
    const Case cases[] = {
        {"11k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, 44100},
        {"48k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 44100},
        {"192k.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 192000, 44100},
    };
    constexpr int kFrames = 70'001;  // several chunks
    for (const Case& c : cases) {
        const QString path = writeSound(dir, c.name, c.format, c.channels, c.rate, kFrames);
        std::vector<float> stereo;  // what writeSound wrote, exactly representable
        for (int i = 0; i < kFrames; ++i) {
            stereo.insert(stereo.end(), {0.5f, c.channels == 1 ? 0.5f : -0.25f});
        }
        const double ratio = static_cast<double>(c.outputRate) / c.rate;
        std::vector<float> expected(static_cast<size_t>(std::ceil(kFrames * ratio) + 16) * 2);
        SRC_DATA data{};
        data.data_in = stereo.data();
        data.input_frames = kFrames;
        data.data_out = expected.data();
        data.output_frames = static_cast<long>(expected.size() / 2);
        data.src_ratio = ratio;
        ASSERT_EQ(src_simple(&data, SRC_SINC_FASTEST, 2), 0) << c.name;
        expected.resize(static_cast<size_t>(data.output_frames_gen) * 2);

        const SoundPtr sound =
            decodeSound(QFile::encodeName(path), c.outputRate, SamplePrecision::Exact);
        ASSERT_NE(sound, nullptr) << c.name;
        EXPECT_TRUE(asStereo(*sound) == expected) << c.name;
        // Compact: the same, each sample rounded to 16 bits.
        const SoundPtr compact = decodeSound(QFile::encodeName(path), c.outputRate);
        ASSERT_NE(compact, nullptr) << c.name;
        ASSERT_EQ(compact->frames(), sound->frames()) << c.name;
        const std::vector<float> rounded = asStereo(*compact);
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_NEAR(rounded[i], expected[i], 0.5f / 32768) << c.name << " at " << i;
        }
    }
}

TEST(DecodePicture, ScalesToSizeKeepingBlack) {
    QTemporaryDir dir;
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.setPixel(0, 0, qRgb(255, 255, 255));
    const QString path = dir.filePath(u"p.png.bmp"_qs);  // the name lies; the content decides
    ASSERT_TRUE(image.save(path, "PNG"));
    PicturePtr picture = decodePicture(QFile::encodeName(path), QSize(256, 256));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(256, 256));
    EXPECT_EQ(picture->format(), kPictureFormat);
    EXPECT_EQ(picture->pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(picture->pixel(255, 255), qRgb(0, 0, 0));
    EXPECT_EQ(decodePicture(QFile::encodeName(dir.filePath(u"none.bmp"_qs)), QSize(256, 256)),
              nullptr);
}

}  // namespace
}  // namespace carvel::media
