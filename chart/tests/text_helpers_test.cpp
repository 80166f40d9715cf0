#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "chart/text_helpers.h"

namespace carvel {
namespace {

TEST(splitHeaderLine, Table) {
    struct Case {
        QString line;
        QString key, value;  // "?" = left untouched
    };
    const Case cases[] = {
        {u"#TITLE\ta b"_qs, u"TITLE\ta"_qs, u"b"_qs},
        {u"#A   spaced  value "_qs, u"A"_qs, u"spaced  value"_qs},
        {u"# TITLE x"_qs, u"?"_qs, u"?"_qs},
        {u"#00111:0101"_qs, u"?"_qs, u"?"_qs},
        {u""_qs, u"?"_qs, u"?"_qs},
    };
    for (const Case& c : cases) {
        QStringView key = u"?";
        QStringView value = u"?";
        EXPECT_EQ(splitHeaderLine(c.line, key, value), c.key != u"?"_qs) << c.line.toStdString();
        EXPECT_EQ(key.toString(), c.key) << c.line.toStdString();
        EXPECT_EQ(value.toString(), c.value) << c.line.toStdString();
    }
}

TEST(HexDigits, Table) {
    struct Case {
        QString text;
        int digit, value;
    };
    const Case cases[] = {
        {u""_qs, 0, 0},       {u"7x"_qs, 7, 112},  {u"f"_qs, 15, 15},
        {u"G"_qs, 0, 0},      {u"0A"_qs, 0, 10},   {u"0a"_qs, 0, 10},
        {u"FF"_qs, 15, 255},  {u"100"_qs, 1, 256}, {u"7FFF"_qs, 7, 32767},
        {u"1G"_qs, 1, 16},    {u"G1"_qs, 0, 1},    {u"ZZ"_qs, 0, 0},
        {u" 1"_qs, 0, 1},     {u"1 "_qs, 1, 16},   {u"-1"_qs, 0, 1},
        {u"00FF"_qs, 0, 255}, {u"ｆ1"_qs, 0, 1},   {u"FFFFFF"_qs, 15, 32767},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hexDigitValue(c.text), c.digit) << c.text.toStdString();
        EXPECT_EQ(hexToInt(c.text), c.value) << c.text.toStdString();
    }
}

TEST(LeadingNumber, Table) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"0.75", 0.75},   {"1", 1},  {"abc", 0},  {"", 0},        {" 0.5x", 0.5},
        {"-0.25", -0.25}, {"+2", 2}, {".5", 0.5}, {"3.", 3},      {"000720,2", 720},
        {"1e3", 1},       {"-", 0},  {".", 0},    {"1.2.3", 1.2},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(leadingNumber(std::string_view(c.text)), c.value) << c.text;
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    }
    EXPECT_EQ(leadingNumber(std::string(400, '9')), 0);  // does not fit a double
}

TEST(FormatRatio, FifteenSignificantDigitsAndTheSign) {
    EXPECT_EQ(formatRatio(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(formatRatio(-0.5), "-0.5");
}

}  // namespace
}  // namespace carvel
