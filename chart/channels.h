#pragma once

// The channels, named once for both readings. Channels 01-09 have the same number in both: the
// classic reading reads a channel's two characters as a decimal number, the full reading as a
// base-36 one ("11" is 11 in the first and 37 in the second).
namespace carvel::channels {

constexpr int kBgm = 1;
constexpr int kBarLength = 2;  // the classic reading's bar-end events carry this channel too
constexpr int kHexTempo = 3;
constexpr int kBasePicture = 4;
constexpr int kMissPicture = 6;
constexpr int kLayerPicture = 7;
constexpr int kIndexedTempo = 8;
constexpr int kStop = 9;

// The base and layer pictures, which change the picture area.
constexpr bool isPicture(int channel) {
    return channel == kBasePicture || channel == kLayerPicture;
}

// The classic reading's sound channels: 01, 11-16 and 21-26 as decimal numbers.
constexpr bool isClassicSound(int channel) {
    return channel == kBgm || (channel >= 11 && channel <= 16) || (channel >= 21 && channel <= 26);
}
// The channels that become the classic reading's events: its sounds and the three pictures.
constexpr bool isClassicEvent(int channel) {
    return isClassicSound(channel) || isPicture(channel) || channel == kMissPicture;
}

// The full reading's channels, by the base-36 value of their two characters.
constexpr int base36(char high, char low) {
    return (high - '0') * 36 + (low - '0');
}
constexpr bool inRange(int channel, char high, char firstLow, char lastLow) {
    return channel >= base36(high, firstLow) && channel <= base36(high, lastLow);
}
// 11-19 and 21-29.
constexpr bool isKeyLane(int channel) {
    return inRange(channel, '1', '1', '9') || inRange(channel, '2', '1', '9');
}
// 51-59 and 61-69.
constexpr bool isLongLane(int channel) {
    return inRange(channel, '5', '1', '9') || inRange(channel, '6', '1', '9');
}
// The channels whose events start a sound.
constexpr bool isSound(int channel) {
    return channel == kBgm || isKeyLane(channel) || isLongLane(channel);
}
// The channels that become events: sounds and the base, Miss and layer pictures.
constexpr bool isPlayed(int channel) {
    return isSound(channel) || isPicture(channel) || channel == kMissPicture;
}
constexpr bool isTiming(int channel) {
    return channel == kHexTempo || channel == kIndexedTempo || channel == kStop;
}
// The channels the reader keeps: the played ones, the timing ones and the bar lengths.
constexpr bool isRead(int channel) {
    return isPlayed(channel) || isTiming(channel) || channel == kBarLength;
}

}  // namespace carvel::channels
