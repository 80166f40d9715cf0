#pragma once

// The channels of the full reading, by the base-36 value of their two characters ("11" is 37).
namespace carvel::full_channels {

constexpr int kBgm = 1;
constexpr int kBarLength = 2;
constexpr int kHexTempo = 3;
constexpr int kIndexedTempo = 8;
constexpr int kStop = 9;

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
// The channels that become events: sounds and the base, miss and layer pictures.
constexpr bool isPlayed(int channel) {
    return isSound(channel) || channel == 4 || channel == 6 || channel == 7;
}
constexpr bool isTiming(int channel) {
    return channel == kHexTempo || channel == kIndexedTempo || channel == kStop;
}
// The channels the reader keeps: the played ones, the timing ones and the bar lengths.
constexpr bool isRead(int channel) {
    return isPlayed(channel) || isTiming(channel) || channel == kBarLength;
}

}  // namespace carvel::full_channels
