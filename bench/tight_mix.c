/* tight_mix SOUNDS EVENTS OUT.wav: the least work a chart render needs, as a yardstick for
 * carvel-render. SOUNDS lists one WAV file per line; sound index i is line i, counted from 0.
 * EVENTS lists "FRAME INDEX" per line: a start of that sound at that output frame. Every sound is
 * decoded once to 44,100 Hz stereo float, every start is mixed into one buffer with one voice per
 * index (a new start of index i cuts the sound index i was playing), and the mix is written as
 * 16-bit stereo WAV, rounded as carvel-render rounds, until the last sound ends. */
#include <math.h>
#include <samplerate.h>
#include <sndfile.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define TIGHT_PROGRAM "tight_mix"
#include "tight_common.h"

enum { RATE = 44100 };

typedef struct {
    float* samples; /* interleaved L R */
    long frames;
} Sound;

typedef struct {
    long frame;
    long index;
    long order; /* place in the file: starts on one frame apply in this order */
    long end;   /* frame after the last one this start plays */
} Start;

/* Mono goes to both sides, of more channels the first two are kept; another rate is converted
 * with SRC_SINC_FASTEST, the converter carvel-render uses, so that both hold the same samples. */
static Sound decode(const char* path) {
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == NULL || info.channels <= 0) {
        fail("cannot read", path);
    }
    float* raw = allocateZeroed((size_t)info.frames * (size_t)info.channels, sizeof(float));
    const sf_count_t got = sf_readf_float(file, raw, info.frames);
    sf_close(file);
    Sound sound;
    sound.frames = (long)got;
    sound.samples = allocateZeroed((size_t)got * 2, sizeof(float));
    for (sf_count_t i = 0; i < got; ++i) {
        const float* frame = raw + i * info.channels;
        sound.samples[2 * i] = frame[0];
        sound.samples[2 * i + 1] = info.channels > 1 ? frame[1] : frame[0];
    }
    free(raw);
    if (info.samplerate != RATE && sound.frames > 0) {
        const double ratio = (double)RATE / info.samplerate;
        const long capacity = (long)ceil(sound.frames * ratio) + 16;
        float* out = allocateZeroed((size_t)capacity * 2, sizeof(float));
        SRC_DATA data;
        memset(&data, 0, sizeof data);
        data.data_in = sound.samples;
        data.input_frames = sound.frames;
        data.data_out = out;
        data.output_frames = capacity;
        data.src_ratio = ratio;
        data.end_of_input = 1;
        if (src_simple(&data, SRC_SINC_FASTEST, 2) != 0) {
            fail("cannot convert the rate of", path);
        }
        free(sound.samples);
        sound.samples = out;
        sound.frames = data.output_frames_gen;
    }
    return sound;
}

static int byFrame(const void* a, const void* b) {
    const Start* x = a;
    const Start* y = b;
    if (x->frame != y->frame) {
        return x->frame < y->frame ? -1 : 1;
    }
    return x->order < y->order ? -1 : x->order > y->order;
}

static short toPcm(float x) {
    const float v = (x < -1.0f ? -1.0f : x > 1.0f ? 1.0f : x) * 32767.0f;
    return (short)(v >= 0 ? v + 0.5f : v - 0.5f);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fputs("usage: tight_mix SOUNDS EVENTS OUT.wav\n", stderr);
        return 2;
    }
    FILE* list = fopen(argv[1], "r");
    if (list == NULL) {
        fail("cannot read", argv[1]);
    }
    Sound* sounds = NULL;
    long soundCount = 0;
    long soundCapacity = 0;
    char path[4096];
    while (fgets(path, sizeof path, list) != NULL) {
        path[strcspn(path, "\r\n")] = '\0';
        sounds = grow(sounds, &soundCapacity, soundCount, sizeof *sounds);
        sounds[soundCount++] = decode(path);
    }
    fclose(list);

    FILE* eventFile = fopen(argv[2], "r");
    if (eventFile == NULL) {
        fail("cannot read", argv[2]);
    }
    Start* starts = NULL;
    long count = 0;
    long capacity = 0;
    long frame = 0;
    long index = 0;
    while (fscanf(eventFile, "%ld %ld", &frame, &index) == 2) {
        if (index < 0 || index >= soundCount || frame < 0) {
            fail("bad event in", argv[2]);
        }
        starts = grow(starts, &capacity, count, sizeof *starts);
        starts[count] = (Start){frame, index, count, frame + sounds[index].frames};
        ++count;
    }
    fclose(eventFile);
    qsort(starts, (size_t)count, sizeof *starts, byFrame);

    /* One voice per index: a start ends where the next start of its index begins. */
    long* playing = allocateZeroed((size_t)soundCount, sizeof(long));
    for (long i = 0; i < soundCount; ++i) {
        playing[i] = -1;
    }
    for (long s = 0; s < count; ++s) {
        long* previous = &playing[starts[s].index];
        if (*previous >= 0 && starts[*previous].end > starts[s].frame) {
            starts[*previous].end = starts[s].frame;
        }
        *previous = s;
    }

    SF_INFO info;
    memset(&info, 0, sizeof info);
    info.samplerate = RATE;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(argv[3], SFM_WRITE, &info);
    if (out == NULL) {
        fail("cannot write", argv[3]);
    }
    /* Mixed block by block, so that the mix stays in cache. The active starts keep their order,
     * so every sample is summed in the order of the starts. */
    enum { BLOCK = 4096 };
    static float mix[BLOCK * 2];
    static short pcm[BLOCK * 2];
    long* active = allocateZeroed((size_t)count, sizeof(long));
    long activeCount = 0;
    long next = 0;
    for (long begin = 0; next < count || activeCount > 0; begin += BLOCK) {
        const long end = begin + BLOCK;
        while (next < count && starts[next].frame < end) {
            active[activeCount++] = next++;
        }
        memset(mix, 0, sizeof mix);
        long last = 0; /* frames of this block that any start reaches */
        long kept = 0;
        for (long a = 0; a < activeCount; ++a) {
            const Start* start = &starts[active[a]];
            const long from = start->frame > begin ? start->frame : begin;
            const long to = start->end < end ? start->end : end;
            const float* src = sounds[start->index].samples + (from - start->frame) * 2;
            float* dst = mix + (from - begin) * 2;
            for (long i = 0; i < (to - from) * 2; ++i) {
                dst[i] += src[i];
            }
            if (to - begin > last) {
                last = to - begin;
            }
            if (start->end > end) {
                active[kept++] = active[a];
            }
        }
        activeCount = kept;
        /* The file ends where the last sound ends. */
        const long frames = next < count || activeCount > 0 ? BLOCK : last;
        for (long i = 0; i < frames * 2; ++i) {
            pcm[i] = toPcm(mix[i]);
        }
        if (sf_write_short(out, pcm, frames * 2) != frames * 2) {
            fail("cannot write", argv[3]);
        }
    }
    sf_close(out);
    return 0;
}
