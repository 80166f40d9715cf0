/* tight_decode [--sndfile] [--dump DIR] RATE LIST: the least work that decoding a chart's sounds
 * needs, as a yardstick for carvel-info's load. LIST names one sound file per line. Each is decoded
 * once, in this one thread, to 16-bit samples at RATE in its own channel count (of more than two
 * channels the first two are kept), into one buffer sized from its header:
 *   - Ogg Vorbis through libvorbisfile (ov_read_float; with --sndfile through libsndfile's floats);
 *   - 16-bit PCM at RATE with one sf_readf_short loop;
 *   - anything else as libsndfile's floats.
 * Floats are made 16-bit as the program makes them (x 32,768, rounded half away from zero, clamped)
 * and a sound at another rate is converted first with libsamplerate's SRC_SINC_FASTEST, the
 * program's converter, in one call. A sound at RATE is never converted.
 * With --dump, sound i (counted from 0) is written to DIR/i.raw as native-endian 16-bit samples, to
 * compare the two Vorbis paths. Prints the sounds, frames and samples decoded. */
#include <math.h>
#include <samplerate.h>
#include <sndfile.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vorbis/vorbisfile.h>

#define TIGHT_PROGRAM "tight_decode"
#include "tight_common.h"

typedef struct {
    int16_t* samples;
    long frames;
    int channels;
} Decoded;

/* v x 32,768 rounded half away from zero and clamped, as lroundf rounds it, without a call: the
 * fraction of a clamped product is exact in float. */
static int16_t toPcm16(float v) {
    const float x = v * 32768.0f;
    const float c = x < -32768.0f ? -32768.0f : x > 32767.0f ? 32767.0f : x == x ? x : 0.0f;
    const int t = (int)c;
    const float f = c - (float)t;
    return (int16_t)(t + (f >= 0.5f) - (f <= -0.5f));
}

/* Floats of `frames` frames, `channels` of each, at `rate` into 16-bit samples at RATE. */
static Decoded finish(float* in, long frames, int channels, int rate, int outputRate,
                      const char* path) {
    Decoded d = {NULL, frames, channels};
    if (rate != outputRate && frames > 0) {
        const double ratio = (double)outputRate / rate;
        const long capacity = (long)ceil(frames * ratio) + 16;
        float* out = allocate((size_t)capacity * (size_t)channels, sizeof(float));
        SRC_DATA data;
        memset(&data, 0, sizeof data);
        data.data_in = in;
        data.input_frames = frames;
        data.data_out = out;
        data.output_frames = capacity;
        data.src_ratio = ratio;
        data.end_of_input = 1;
        if (src_simple(&data, SRC_SINC_FASTEST, channels) != 0) {
            fail("cannot convert the rate of", path);
        }
        free(in);
        in = out;
        d.frames = data.output_frames_gen;
    }
    const size_t count = (size_t)d.frames * (size_t)channels;
    d.samples = allocate(count, sizeof(int16_t));
    for (size_t i = 0; i < count; ++i) {
        d.samples[i] = toPcm16(in[i]);
    }
    free(in);
    return d;
}

/* Reads frames from vf until its end or until `capacity` frames, into exactly one of `pcm16` (made
 * 16-bit) and `floats`, `channels` interleaved; returns the frames read. */
static long readVorbis(OggVorbis_File* vf, int channels, long capacity, int16_t* pcm16,
                       float* floats) {
    int bitstream = 0;
    long frames = 0;
    for (;;) {
        float** pcm = NULL;
        const long got = ov_read_float(vf, &pcm, 4096, &bitstream);
        if (got <= 0 || frames + got > capacity) {
            break;
        }
        if (pcm16 != NULL) {
            for (long i = 0; i < got; ++i) {
                for (int c = 0; c < channels; ++c) {
                    pcm16[(frames + i) * channels + c] = toPcm16(pcm[c][i]);
                }
            }
        } else {
            for (long i = 0; i < got; ++i) {
                for (int c = 0; c < channels; ++c) {
                    floats[(frames + i) * channels + c] = pcm[c][i];
                }
            }
        }
        frames += got;
    }
    return frames;
}

static Decoded decodeVorbis(const char* path, int outputRate) {
    OggVorbis_File vf;
    if (ov_fopen(path, &vf) != 0) {
        fail("cannot read", path);
    }
    const vorbis_info* vi = ov_info(&vf, -1);
    const int channels = vi->channels > 2 ? 2 : vi->channels;
    const int rate = (int)vi->rate;
    const ogg_int64_t total = ov_pcm_total(&vf, -1);
    const long capacity = total > 0 ? (long)total : 1;
    if (rate == outputRate) {
        /* Straight from the decoder's buffers into the 16-bit sound. */
        Decoded d = {allocate((size_t)capacity * (size_t)channels, sizeof(int16_t)), 0, channels};
        d.frames = readVorbis(&vf, channels, capacity, d.samples, NULL);
        ov_clear(&vf);
        return d;
    }
    float* all = allocate((size_t)capacity * (size_t)channels, sizeof(float));
    const long frames = readVorbis(&vf, channels, capacity, NULL, all);
    ov_clear(&vf);
    return finish(all, frames, channels, rate, outputRate, path);
}

static Decoded decodeSndfile(const char* path, int outputRate) {
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == NULL || info.channels <= 0) {
        fail("cannot read", path);
    }
    const int channels = info.channels > 2 ? 2 : info.channels;
    const size_t samples = (size_t)info.frames * (size_t)info.channels;
    if (info.samplerate == outputRate && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
        Decoded d = {allocate(samples, sizeof(int16_t)), 0, channels};
        sf_count_t got = 0;
        while (d.frames < info.frames &&
               (got = sf_readf_short(file, d.samples + d.frames * info.channels,
                                     info.frames - d.frames)) > 0) {
            d.frames += (long)got;
        }
        sf_close(file);
        if (info.channels > 2) {
            for (long i = 0; i < d.frames; ++i) {
                memmove(d.samples + 2 * i, d.samples + (size_t)i * (size_t)info.channels,
                        2 * sizeof(int16_t));
            }
        }
        return d;
    }
    float* all = allocate(samples, sizeof(float));
    long frames = 0;
    sf_count_t got = 0;
    while (frames < info.frames &&
           (got = sf_readf_float(file, all + frames * info.channels, info.frames - frames)) > 0) {
        frames += (long)got;
    }
    sf_close(file);
    if (info.channels > 2) {
        for (long i = 0; i < frames; ++i) {
            memmove(all + 2 * i, all + (size_t)i * (size_t)info.channels, 2 * sizeof(float));
        }
    }
    return finish(all, frames, channels, info.samplerate, outputRate, path);
}

static int isOgg(const char* path) {
    unsigned char magic[4] = {0};
    FILE* f = fopen(path, "rb");
    if (f == NULL) {
        fail("cannot read", path);
    }
    const size_t got = fread(magic, 1, 4, f);
    fclose(f);
    return got == 4 && memcmp(magic, "OggS", 4) == 0;
}

int main(int argc, char** argv) {
    int useSndfile = 0;
    const char* dump = NULL;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        if (strcmp(argv[arg], "--sndfile") == 0) {
            useSndfile = 1;
        } else if (strcmp(argv[arg], "--dump") == 0 && arg + 1 < argc) {
            dump = argv[++arg];
        } else {
            break;
        }
    }
    if (argc - arg != 2 || atoi(argv[arg]) <= 0) {
        fputs("usage: tight_decode [--sndfile] [--dump DIR] RATE LIST\n", stderr);
        return 2;
    }
    const int rate = atoi(argv[arg]);
    FILE* list = fopen(argv[arg + 1], "r");
    if (list == NULL) {
        fail("cannot read", argv[arg + 1]);
    }
    int16_t** held = NULL;
    long capacity = 0;
    long sounds = 0;
    long long frames = 0;
    long long samples = 0;
    char path[4096];
    while (fgets(path, sizeof path, list) != NULL) {
        path[strcspn(path, "\r\n")] = '\0';
        const Decoded d =
            !useSndfile && isOgg(path) ? decodeVorbis(path, rate) : decodeSndfile(path, rate);
        if (dump != NULL) {
            char name[4096];
            snprintf(name, sizeof name, "%s/%ld.raw", dump, sounds);
            FILE* out = fopen(name, "wb");
            if (out == NULL ||
                fwrite(d.samples, sizeof(int16_t), (size_t)d.frames * (size_t)d.channels, out) !=
                    (size_t)d.frames * (size_t)d.channels) {
                fail("cannot write", name);
            }
            fclose(out);
        }
        /* Kept, as the load keeps every sound, so that both pay for the pages they fill. */
        held = grow(held, &capacity, sounds, sizeof *held);
        held[sounds++] = d.samples;
        frames += d.frames;
        samples += (long long)d.frames * d.channels;
    }
    fclose(list);
    for (long i = 0; i < sounds; ++i) {
        free(held[i]);
    }
    free(held);
    printf("%ld sounds, %lld frames, %lld samples\n", sounds, frames, samples);
    return 0;
}
