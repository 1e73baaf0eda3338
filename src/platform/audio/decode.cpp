#include "platform/audio/decode.h"

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "log.h"

namespace audio {

namespace {

struct MemoryImage {
    const unsigned char* bytes;
    sf_count_t length;
    sf_count_t position;
};

sf_count_t imageLength(void* user) { return static_cast<MemoryImage*>(user)->length; }

sf_count_t imageSeek(sf_count_t offset, int whence, void* user) {
    MemoryImage* image = static_cast<MemoryImage*>(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? image->position : image->length;
    sf_count_t target = base + offset;
    if (target < 0) return -1;  // past the end is allowed, as for a file; reads give 0
    image->position = target;
    return target;
}

sf_count_t imageRead(void* out, sf_count_t count, void* user) {
    MemoryImage* image = static_cast<MemoryImage*>(user);
    sf_count_t left = image->length - image->position;
    if (count > left) count = left;
    if (count <= 0) return 0;
    memcpy(out, image->bytes + image->position, size_t(count));
    image->position += count;
    return count;
}

sf_count_t imageWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t imageTell(void* user) { return static_cast<MemoryImage*>(user)->position; }

// Reads every frame as interleaved stereo floats into a malloc'ed block.
float* readStereo(SNDFILE* file, int channels, int64_t* frames) {
    const sf_count_t kChunk = 16384;
    float* chunk = static_cast<float*>(malloc(sizeof(float) * size_t(kChunk) * channels));
    int64_t capacity = 0, count = 0;
    float* stereo = nullptr;
    if (!chunk) return nullptr;
    for (;;) {
        sf_count_t got = sf_readf_float(file, chunk, kChunk);
        if (got <= 0) break;
        if (count + got > capacity) {
            int64_t grown = capacity ? capacity * 2 : kChunk * 4;
            while (grown < count + got) grown *= 2;
            float* bigger = static_cast<float*>(realloc(stereo, sizeof(float) * 2 * size_t(grown)));
            if (!bigger) {
                free(stereo);
                free(chunk);
                return nullptr;
            }
            stereo = bigger;
            capacity = grown;
        }
        for (sf_count_t i = 0; i < got; ++i) {
            const float* frame = chunk + i * channels;
            stereo[(count + i) * 2] = frame[0];
            stereo[(count + i) * 2 + 1] = channels > 1 ? frame[1] : frame[0];
        }
        count += got;
    }
    free(chunk);
    *frames = count;
    return stereo;
}

int16_t toSample(float value) {
    if (!(value > -1.0f)) value = -1.0f;  // also catches NaN
    if (value > 1.0f) value = 1.0f;
    return int16_t(lrintf(value * 32767.0f));
}

}  // namespace

float* resampleLinear(const float* in, int64_t frames, int fromRate, int toRate,
                      int64_t* outFrames) {
    int64_t count = (frames * toRate + fromRate / 2) / fromRate;
    float* out = static_cast<float*>(malloc(sizeof(float) * 2 * size_t(count > 0 ? count : 1)));
    if (!out) return nullptr;
    double step = double(fromRate) / double(toRate);
    for (int64_t i = 0; i < count; ++i) {
        double source = double(i) * step;
        int64_t first = int64_t(source);
        if (first >= frames) first = frames - 1;
        int64_t second = first + 1 < frames ? first + 1 : first;
        float fraction = float(source - double(first));
        for (int c = 0; c < 2; ++c) {
            float a = in[first * 2 + c], b = in[second * 2 + c];
            out[i * 2 + c] = a + (b - a) * fraction;
        }
    }
    *outFrames = count;
    return out;
}

bool decodeStream(const void* image, size_t length, DecodedAudio* out) {
    *out = DecodedAudio();
    if (!image || length == 0) {
        logLine("Audio stream: no data\n");
        return false;
    }
    MemoryImage memory{static_cast<const unsigned char*>(image), sf_count_t(length), 0};
    SF_VIRTUAL_IO io{imageLength, imageSeek, imageRead, imageWrite, imageTell};
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
    if (!file) {
        logLine("Audio stream: not a readable OGG or MP3 file (%s)\n", sf_strerror(nullptr));
        return false;
    }
    int container = info.format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_OGG && container != SF_FORMAT_MPEG) {
        logLine("Audio stream: format 0x%08x is neither OGG nor MP3\n", unsigned(info.format));
        sf_close(file);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        logLine("Audio stream: %i channels at %i Hz cannot be played\n", info.channels,
                info.samplerate);
        sf_close(file);
        return false;
    }
    int64_t frames = 0;
    float* stereo = readStereo(file, info.channels, &frames);
    sf_close(file);
    if (!stereo || frames == 0) {
        logLine("Audio stream: no frames could be decoded\n");
        free(stereo);
        return false;
    }
    if (info.samplerate != kOutputRate) {
        logLine("Audio stream: resampling %i Hz to %i Hz\n", info.samplerate, kOutputRate);
        int64_t resampled = 0;
        float* converted = resampleLinear(stereo, frames, info.samplerate, kOutputRate, &resampled);
        free(stereo);
        if (!converted || resampled == 0) {
            logLine("Audio stream: resampling failed\n");
            free(converted);
            return false;
        }
        stereo = converted;
        frames = resampled;
    }
    int16_t* samples = static_cast<int16_t*>(malloc(sizeof(int16_t) * 2 * size_t(frames)));
    if (!samples) {
        logLine("Audio stream: out of memory for %lld frames\n", static_cast<long long>(frames));
        free(stereo);
        return false;
    }
    for (int64_t i = 0; i < frames * 2; ++i) samples[i] = toSample(stereo[i]);
    free(stereo);
    out->samples = samples;
    out->frames = frames;
    out->sourceRate = info.samplerate;
    out->sourceChannels = info.channels;
    return true;
}

}  // namespace audio
