#include <gtest/gtest.h>

#include "testing/qt_printers.h"
#include "testing/raw_files.h"

#include <QDir>
#include <QFile>

#include "platform/file_name.h"
#include "platform/file_system.h"
#include "platform/path_lookup.h"

namespace carvel {
namespace {

using testing::makeRaw;

TEST(PathResolver, SeparatorsCaseExtensionsAndShiftJisNames) {
    testing::RawTempDir tmp;
    const QString root = tmp.path() + u'/';
    const QByteArray r = QFile::encodeName(root);
    makeRaw(r + "Kick.WAV");
    makeRaw(r + "Sounds/Snare.wav");
    makeRaw(r + "bgm.ogg");
    makeRaw(r + "pic.png");
    makeRaw(r + "exact.bmp");
    makeRaw(r + "exact.png");
    makeRaw(r + "folder.wav", 'd');
    makeRaw(r + "pipe.wav", 'p');
    makeRaw(r + "voice.mp3");
    makeRaw(r + "both.mp3");
    makeRaw(r + "both.flac");
    makeRaw(r + "dup.WAV");
    makeRaw(r + "Dup.wav");
    // "サウンド/キック.wav" and "画像.BMP" with names in CP932 bytes, as unpacked from an archive.
    makeRaw(r + "\x83\x54\x83\x45\x83\x93\x83\x68", 'd');
    makeRaw(r + "\x83\x54\x83\x45\x83\x93\x83\x68/\x83\x4c\x83\x62\x83\x4e.wav");
    makeRaw(r + "\x89\xe6\x91\x9c.BMP");

    struct Case {
        const char16_t* name;
        const char16_t* expected;  // relative to root; empty: not found
        QByteArray native;         // relative to root; empty: as expected in UTF-8
    };
    const Case cases[] = {
        {u"Kick.WAV", u"Kick.WAV", {}},
        {u"kick.wav", u"Kick.WAV", {}},
        {u"sounds\\snare.WAV", u"Sounds/Snare.wav", {}},
        {u"SOUNDS/SNARE.WAV", u"Sounds/Snare.wav", {}},
        {u"bgm.wav", u"bgm.ogg", {}},
        {u"BGM.WAV", u"bgm.ogg", {}},
        {u"pic.bmp", u"pic.png", {}},
        {u"exact.bmp", u"exact.bmp", {}},
        {u"voice.wav", u"voice.mp3", {}},
        {u"both.wav", u"both.flac", {}},  // mp3 only when no other kind is there
        {u"DUP.WAV", u"Dup.wav", {}},     // of names equal but for case, the first by bytes
        {u"サウンド\\キック.wav", u"サウンド/キック.wav",
         "\x83\x54\x83\x45\x83\x93\x83\x68/\x83\x4c\x83\x62\x83\x4e.wav"},
        {u"画像.bmp", u"画像.BMP", "\x89\xe6\x91\x9c.BMP"},
        {u"missing.wav", u"", {}},
        {u"folder.wav", u"", {}},
        {u"pipe.wav", u"", {}},
        {u"", u"", {}},
        {u"sounds", u"", {}},
        {u"C:\\kick.wav", u"", {}},
    };
    for (const Case& c : cases) {
        PathResolver resolver;
        const QString name = QString::fromUtf16(c.name);
        const FoundFile found = resolver.resolve(root, name);
        if (*c.expected == 0) {
            EXPECT_FALSE(found.found()) << name.toStdString();
            continue;
        }
        EXPECT_EQ(found.path, root + QString::fromUtf16(c.expected)) << name.toStdString();
        const QByteArray native =
            c.native.isEmpty() ? QString::fromUtf16(c.expected).toUtf8() : c.native;
        EXPECT_EQ(found.native, r + native) << name.toStdString();
    }
}

TEST(PathResolver, VideosPreferTheirHdVersionOnlyWhenAskedFor) {
    testing::RawTempDir tmp;
    const QString root = tmp.path() + u'/';
    const QByteArray r = QFile::encodeName(root);
    for (const char* name : {"clip.wmv", "clip.mp4", "only.avi", "Movie.MPG", "still.bmp"}) {
        makeRaw(r + name);
    }
    struct Case {
        const char16_t* name;
        const char16_t* asVideo;  // found by a resolver that finds videos; empty: none
        const char16_t* asPlain;  // by one that does not
    };
    const Case cases[] = {
        {u"clip.wmv", u"clip.mp4", u"clip.wmv"},
        {u"CLIP.AVI", u"clip.mp4", u""},
        {u"only.mpg", u"only.avi", u""},
        {u"movie.mp4", u"Movie.MPG", u""},
        {u"still.png", u"still.bmp", u"still.bmp"},
        {u"none.mkv", u"", u""},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf16(c.name);
        for (const bool videos : {true, false}) {
            const char16_t* expected = videos ? c.asVideo : c.asPlain;
            const FoundFile found = PathResolver(videos).resolve(root, name);
            EXPECT_EQ(found.path, *expected ? root + QString::fromUtf16(expected) : QString())
                << name.toStdString() << " videos=" << videos;
        }
    }
    EXPECT_TRUE(PathResolver::namesVideo(u"a\\B.WmV"_qs));
    EXPECT_FALSE(PathResolver::namesVideo(u"mp4/a.bmp"_qs));
}

TEST(NativePath, DecodedNamesLeadBackToTheirBytes) {
    testing::RawTempDir tmp;
    const QByteArray r = QFile::encodeName(tmp.path());
    makeRaw(r + "/\x93\xfa\x96\x7b/\x8b\xc8.bms");  // 日本/曲.bms in CP932
    makeRaw(r + "/plain/a.bms");
    makeRaw(r + "/pipe.bms", 'p');
    const QString root = tmp.path();

    EXPECT_EQ(decodeFileName("\x93\xfa\x96\x7b"), u"日本"_qs);
    EXPECT_EQ(nativePath(root + u"/日本/曲.bms"_qs), r + "/\x93\xfa\x96\x7b/\x8b\xc8.bms");
    EXPECT_EQ(nativePath(root + u"/plain/a.bms"_qs), r + "/plain/a.bms");
    EXPECT_EQ(nativePath(root + u"/plain/b.bms"_qs), std::nullopt);
    EXPECT_TRUE(fileExists(root + u"/日本/曲.bms"_qs));
    EXPECT_FALSE(fileExists(root + u"/日本"_qs));
    EXPECT_FALSE(fileExists(root + u"/pipe.bms"_qs));
    EXPECT_TRUE(folderExists(root + u"/日本"_qs));
    EXPECT_FALSE(folderExists(root + u"/日本/曲.bms"_qs));

    // Dropped files arrive as URLs whose percent-encoded bytes may be CP932.
    const std::pair<const char*, const char16_t*> urls[] = {
        {"file:///m/%93%FA%96%7B/%8B%C8.bms", u"/m/日本/曲.bms"},
        {"file:///m/%E6%9B%B2%20a.bms", u"/m/曲 a.bms"},
        {"file:///m/a%0Ab%25.bms", u"/m/a\nb%.bms"},
        {"http://host/a.bms", u""},
    };
    for (const auto& [url, name] : urls) {
        EXPECT_EQ(localFileName(QUrl(QString::fromLatin1(url))), QString::fromUtf16(name)) << url;
    }
}

}  // namespace
}  // namespace carvel
