#include <gtest/gtest.h>

#include "platform/testing/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/path_lookup.h"

namespace carvel {
namespace {

void touch(const QString& path) {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

TEST(PathResolver, SeparatorsCaseAndAlternativeExtensions) {
    QTemporaryDir tmp;
    const QString root = tmp.path() + u'/';
    touch(root + u"Kick.WAV"_qs);
    touch(root + u"Sounds/Snare.wav"_qs);
    touch(root + u"bgm.ogg"_qs);
    touch(root + u"pic.png"_qs);
    touch(root + u"exact.bmp"_qs);
    touch(root + u"exact.png"_qs);
    QDir().mkpath(root + u"folder.wav"_qs);

    struct Case {
        const char16_t* name;
        const char16_t* expected;  // relative to root; empty: not found
    };
    const Case cases[] = {
        {u"Kick.WAV", u"Kick.WAV"},
        {u"kick.wav", u"Kick.WAV"},
        {u"sounds\\snare.WAV", u"Sounds/Snare.wav"},
        {u"SOUNDS/SNARE.WAV", u"Sounds/Snare.wav"},
        {u"bgm.wav", u"bgm.ogg"},
        {u"BGM.WAV", u"bgm.ogg"},
        {u"pic.bmp", u"pic.png"},
        {u"exact.bmp", u"exact.bmp"},
        {u"missing.wav", u""},
        {u"folder.wav", u""},
        {u"", u""},
        {u"sounds", u""},
        {u"C:\\kick.wav", u""},
    };
    for (const Case& c : cases) {
        PathResolver resolver;
        const QString expected =
            *c.expected == 0 ? QString() : root + QString::fromUtf16(c.expected);
        EXPECT_EQ(resolver.resolve(root, QString::fromUtf16(c.name)), expected)
            << QString::fromUtf16(c.name).toStdString();
    }
}

}  // namespace
}  // namespace carvel
