#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace carvel {

// Cuts "#KEY value" into key (as written) and value (spaces trimmed), without copying. Returns
// false, leaving key and value untouched, when the line does not start with '#', has no space, or
// has a space right after '#'. Only U+0020 counts as a space; a tab is an ordinary character.
bool splitHeaderLine(QStringView line, QStringView& key, QStringView& value);

// Whether a header key is name, in either letter case.
inline bool sameKey(QStringView key, QStringView name) {
    return key.compare(name, Qt::CaseInsensitive) == 0;
}

// n in decimal, left-padded with zeros to six digits; longer numbers in full; a negative number is
// '-' followed by its magnitude written the same way.
std::string formatSix(std::int64_t n);

// Value of the first character as a hexadecimal digit (either case); 0 for anything else.
int hexDigitValue(QStringView text);

// Base-16 value of the whole text, every character a digit by hexDigitValue. Saturates at 32767,
// the top of the 16-bit range it is stored in.
int hexToInt(QStringView text);

// text without leading and trailing U+0020 (tabs and other blanks stay).
QString trimSpaces(const QString& text);
QStringView trimSpaces(QStringView text);

// The number at the start of text (after blanks and tabs): an optional sign, digits, an optional
// point and digits. 0 when there is none, or when it does not fit a finite double.
double leadingNumber(QStringView text);
double leadingNumber(std::string_view text);

// The same number read in long double precision, decimal digits beyond the first 400 after the
// point dropped; 0 when there is none, or when it does not fit a finite double.
long double leadingDecimal(QStringView text);

// A ratio written with a point, at most 15 significant digits, no trailing zeros, no exponent:
// 0.75, 0.5, 1, 0.
std::string formatRatio(double value);

}  // namespace carvel
