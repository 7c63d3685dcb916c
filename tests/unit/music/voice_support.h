// Raw samples and voices set up by hand, for the mixer and block tests.
#ifndef BRINDLEC_TESTS_VOICE_SUPPORT_H
#define BRINDLEC_TESTS_VOICE_SUPPORT_H

#include <cstdint>
#include <vector>

#include "music/music.h"

namespace voice_support {

const uint64_t ONE = 1ull << 32;  // 1.0 in 32.32

// A sample over `values`, with the spare values after their end.
struct RawSample {
    std::vector<int16_t> values;
    Sample sample = {};

    RawSample(std::vector<int16_t> data, uint8_t loop_type = LOOP_NONE, uint32_t loop_start = 0,
              uint32_t loop_length = 0)
        : values(std::move(data))
    {
        sample.length = static_cast<uint32_t>(values.size());
        values.resize(values.size() + SAMPLE_PADDING, 0);
        sample.data = values.data();
        sample.loop_type = loop_type;
        sample.bits = 16;
        sample.loop_start = loop_type == LOOP_NONE ? 0 : loop_start;
        sample.loop_length = loop_type == LOOP_NONE ? sample.length : loop_length;
    }
};

inline std::vector<int16_t> constant(size_t length, int16_t value) { return std::vector<int16_t>(length, value); }

inline std::vector<int16_t> ramp_values(size_t length)  // 0, 100, 200, ...
{
    std::vector<int16_t> values(length);
    for (size_t i = 0; i < length; ++i) values[i] = static_cast<int16_t>(100 * i);
    return values;
}

inline void set_position(Voice* voice, uint64_t position)
{
    voice->position = static_cast<uint32_t>(position >> 32);
    voice->position_fraction = static_cast<uint32_t>(position);
}

inline uint64_t position_of(const Voice* voice)
{
    return static_cast<uint64_t>(voice->position) << 32 | voice->position_fraction;
}

// A voice on `sample` at constant gains `target` (no ramp pending).
inline Voice* settled_voice(int slot, const Sample* sample, uint64_t increment, int target = 255)
{
    Voice* voice = &sound_output.voices[slot];
    voice->sample = sample;
    set_position(voice, 0);
    voice->increment = static_cast<uint32_t>(increment >> 32);
    voice->increment_fraction = static_cast<uint32_t>(increment);
    voice->direction = 1;
    voice->target_left = voice->target_right = voice->seen_left = voice->seen_right = target;
    voice->current_left = voice->current_right = 256 * target;
    voice->ramp_left = 0;
    return voice;
}

}  // namespace voice_support

#endif
