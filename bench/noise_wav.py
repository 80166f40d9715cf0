"""Writes distinct 16-bit PCM WAV files of white noise quickly, for the sound benchmarks."""
import wave

# Keeps the low four bits of a high byte, sign-extended: samples stay within [-2048, 2047].
_QUIET = bytes((b & 15) | (0xF0 if b & 8 else 0) for b in range(256))


def write_noise(path, frames, channels, rate, rng, quiet=False):
    """Noise from rng (a random.Random), full scale or, when quiet, at 1/16 of full scale so that
    many of them can be mixed without clipping."""
    data = bytearray(rng.randbytes(frames * channels * 2))
    if quiet:
        data[1::2] = data[1::2].translate(_QUIET)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(data))
