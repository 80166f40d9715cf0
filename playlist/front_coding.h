#pragma once

#include <QByteArrayView>
#include <vector>

namespace carvel {

// Codes a run of byte strings, each against the one before it: the bytes it shares with the start
// and with the end of the one before are kept as two lengths, and only the bytes between them are
// written. Consecutive playlist entries share their folders and often their endings (".bms", a
// difficulty's name), so a list codes to a fraction of its text.
//
// One coded string: the shared prefix length, the shared suffix length and the length of the
// middle, each as an unsigned LEB128 number (7 bits a byte, low bits first), then the middle's
// bytes. Prefix and suffix never overlap in either string.
//
// writeCoded codes value against previous into room for at least codedBound(value) bytes at `at`
// and returns the end of the code.
char* writeCoded(char* at, QByteArrayView value, QByteArrayView previous);
inline size_t codedBound(QByteArrayView value) {
    return 30 + static_cast<size_t>(value.size());  // three numbers of at most 10 bytes, and value
}

// Reads the coded string at `in`, which was coded against `value`, advances `in` past it and
// leaves the string in `value`. `scratch` is a buffer of the caller's, reused between calls.
void readCoded(const char*& in, std::vector<char>& value, std::vector<char>& scratch);

}  // namespace carvel
