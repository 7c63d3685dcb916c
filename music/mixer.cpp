// Software mixer: resamples every active voice by linear interpolation
// into the floating-point stereo accumulator, follows forward and
// ping-pong loops, smooths every gain change with a short linear ramp,
// and converts the accumulated frames to clipped 16-bit PCM.
#include <cmath>
#include <cstring>

#include "music/music_engine.h"

// x86-64 always has SSE2: there the inner loops take four frames at a
// time. They do the plain loops' single-precision operations in the same
// order, one lane a frame, so both give the same floats to the bit. The
// 32-bit Windows release keeps the plain loops (smaller, and its CPUs need
// not have SSE2).
#if defined(__x86_64__) || defined(_M_X64)
#define MIX_FOUR_AT_A_TIME 1
#include <emmintrin.h>
#else
#define MIX_FOUR_AT_A_TIME 0
#endif

// Positions and steps are 32.32 fixed point held in one 64-bit value.
static const uint64_t FRACTION_BITS = 32;
// The largest step per frame the position arithmetic allows: just under
// 65536 samples, far above any pitch a note reaches (the tick engine keeps
// notes between 100 Hz and a few hundred kHz).
static const uint64_t MAX_STEP = (1ull << 48) - 1;
// A gain of 1.0 as an 8.8 current value: 255 x 256.
static const float CURRENT_FULL = 65280.0f;

static inline uint64_t voice_position(const Voice* voice)
{
    return static_cast<uint64_t>(voice->position) << FRACTION_BITS | voice->position_fraction;
}

static inline void store_position(Voice* voice, uint64_t position)
{
    voice->position = static_cast<uint32_t>(position >> FRACTION_BITS);
    voice->position_fraction = static_cast<uint32_t>(position);
}

// The interpolated sample value at a 32.32 position: the top 31 bits of
// the fraction weigh the step to the next value.
static inline float value_at(const int16_t* data, uint64_t position)
{
    uint32_t at = static_cast<uint32_t>(position >> FRACTION_BITS);
    float a = data[at];
    float b = data[at + 1];
    float f = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(position) >> 1)) *
              (1.0f / 2147483648.0f);
    return a + f * (b - a);
}

// n frames at constant gains. `step` is added modulo 2^64, so a voice
// moving backward passes the two's complement of its increment.
static uint64_t mix_constant_plain(const int16_t* data, uint64_t position, uint64_t step, float left,
                                   float right, float* out, int n)
{
    for (int i = 0; i < n; ++i) {
        float value = value_at(data, position);
        out[2 * i] += value * left;
        out[2 * i + 1] += value * right;
        position += step;
    }
    return position;
}

// n frames of a volume ramp: the gains grow by their steps after each
// frame; *left and *right are the gains before the first frame and after
// the last.
static uint64_t mix_ramp_plain(const int16_t* data, uint64_t position, uint64_t step, float* left,
                               float* right, float step_left, float step_right, float* out, int n)
{
    float l = *left, r = *right;
    for (int i = 0; i < n; ++i) {
        float value = value_at(data, position);
        out[2 * i] += value * l;
        out[2 * i + 1] += value * r;
        l += step_left;
        r += step_right;
        position += step;
    }
    *left = l;
    *right = r;
    return position;
}

static void clip_to_pcm16_plain(int16_t* destination, const float* source, int values)
{
    for (int i = 0; i < values; ++i) {
        // Clamping before rounding gives the same result as after it
        // (32767.5 -> 32767, -32768.5 -> -32768).
        float value = source[i];
        if (value > 32767.0f) value = 32767.0f;
        if (value < -32768.0f) value = -32768.0f;
        // The default rounding mode: nearest integer, halves to even.
        destination[i] = static_cast<int16_t>(std::lrint(value));
    }
}

#if MIX_FOUR_AT_A_TIME

// The values at and after a position's sample, in the low 32 bits.
static inline __m128i value_pair(const int16_t* data, uint64_t position)
{
    int32_t pair;
    std::memcpy(&pair, data + (position >> FRACTION_BITS), sizeof pair);
    return _mm_cvtsi32_si128(pair);
}

// The next four frames' interpolated values, from `position` on; moves the
// position and the four fractions on by four steps. The same single-precision
// operations as value_at, one lane a frame.
static inline __m128 four_values(const int16_t* data, uint64_t* position, uint64_t step, __m128i* fractions,
                                 __m128i fraction_step)
{
    // Each frame's two neighbouring values in one 32-bit load: the first in
    // the low half (x86 is little-endian).
    const uint64_t p0 = *position, p1 = p0 + step, p2 = p1 + step, p3 = p2 + step;
    *position = p3 + step;
    const __m128i both = _mm_unpacklo_epi64(_mm_unpacklo_epi32(value_pair(data, p0), value_pair(data, p1)),
                                            _mm_unpacklo_epi32(value_pair(data, p2), value_pair(data, p3)));
    const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(both, 16), 16));
    const __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(both, 16));
    const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(*fractions, 1)),
                                _mm_set1_ps(1.0f / 2147483648.0f));
    *fractions = _mm_add_epi32(*fractions, fraction_step);
    return _mm_add_ps(a, _mm_mul_ps(f, _mm_sub_ps(b, a)));
}

// The fraction words of the positions of the next four frames: the low 32
// bits of a sum depend only on the low 32 bits of its terms.
static inline __m128i four_fractions(uint64_t position, uint64_t step, __m128i* fraction_step)
{
    const uint32_t p = static_cast<uint32_t>(position), s = static_cast<uint32_t>(step);
    *fraction_step = _mm_set1_epi32(static_cast<int32_t>(4 * s));
    return _mm_setr_epi32(static_cast<int32_t>(p), static_cast<int32_t>(p + s),
                          static_cast<int32_t>(p + 2 * s), static_cast<int32_t>(p + 3 * s));
}

// Adds four values to four stereo frames: gains01 holds the left and right
// gains of the first two frames, gains23 those of the last two.
static inline void add_four_frames(float* out, __m128 values, __m128 gains01, __m128 gains23)
{
    _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(values, values), gains01)));
    _mm_storeu_ps(out + 4,
                  _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(values, values), gains23)));
}

static uint64_t mix_constant(const int16_t* data, uint64_t position, uint64_t step, float left, float right,
                             float* out, int n)
{
    const __m128 gains = _mm_setr_ps(left, right, left, right);
    __m128i fraction_step;
    __m128i fractions = four_fractions(position, step, &fraction_step);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        add_four_frames(out + 2 * i, four_values(data, &position, step, &fractions, fraction_step), gains,
                        gains);
    return mix_constant_plain(data, position, step, left, right, out + 2 * i, n - i);
}

// The gains still grow one frame at a time, in the order the plain loop
// adds them up, so every frame's gain is the plain loop's to the bit.
static uint64_t mix_ramp_frames(const int16_t* data, uint64_t position, uint64_t step, float* left,
                                float* right, float step_left, float step_right, float* out, int n)
{
    __m128 gain = _mm_setr_ps(*left, *right, 0.0f, 0.0f);
    const __m128 gain_step = _mm_setr_ps(step_left, step_right, 0.0f, 0.0f);
    __m128i fraction_step;
    __m128i fractions = four_fractions(position, step, &fraction_step);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 g1 = _mm_add_ps(gain, gain_step);
        const __m128 g2 = _mm_add_ps(g1, gain_step);
        const __m128 g3 = _mm_add_ps(g2, gain_step);
        add_four_frames(out + 2 * i, four_values(data, &position, step, &fractions, fraction_step),
                        _mm_movelh_ps(gain, g1), _mm_movelh_ps(g2, g3));
        gain = _mm_add_ps(g3, gain_step);
    }
    float gains[4];
    _mm_storeu_ps(gains, gain);
    *left = gains[0];
    *right = gains[1];
    return mix_ramp_plain(data, position, step, left, right, step_left, step_right, out + 2 * i, n - i);
}

// _mm_cvtps_epi32 rounds as lrint does (the default mode: nearest, halves
// to even) and the pack saturates what the clamp left at +-32768.
static void convert_to_pcm16(int16_t* destination, const float* source, int values)
{
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    int i = 0;
    for (; i + 8 <= values; i += 8) {
        const __m128 first = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i), low), high);
        const __m128 second = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(source + i + 4), low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i),
                         _mm_packs_epi32(_mm_cvtps_epi32(first), _mm_cvtps_epi32(second)));
    }
    clip_to_pcm16_plain(destination + i, source + i, values - i);
}

#else

static uint64_t mix_constant(const int16_t* data, uint64_t position, uint64_t step, float left, float right,
                             float* out, int n)
{
    return mix_constant_plain(data, position, step, left, right, out, n);
}

static uint64_t mix_ramp_frames(const int16_t* data, uint64_t position, uint64_t step, float* left,
                                float* right, float step_left, float step_right, float* out, int n)
{
    return mix_ramp_plain(data, position, step, left, right, step_left, step_right, out, n);
}

static void convert_to_pcm16(int16_t* destination, const float* source, int values)
{
    clip_to_pcm16_plain(destination, source, values);
}

#endif

// n frames of the voice's volume ramp, from the gains it has reached.
static uint64_t mix_ramp(Voice* voice, const int16_t* data, uint64_t position, uint64_t step, float* out,
                         int n)
{
    float left = static_cast<float>(voice->current_left) / CURRENT_FULL;
    float right = static_cast<float>(voice->current_right) / CURRENT_FULL;
    position = mix_ramp_frames(data, position, step, &left, &right, voice->step_left, voice->step_right, out,
                               n);
    voice->current_left = static_cast<int>(std::lround(left * CURRENT_FULL));
    voice->current_right = static_cast<int>(std::lround(right * CURRENT_FULL));
    return position;
}

// Continues the ramp in progress while the targets stay as they were when
// it was planned; otherwise plans a new one from the gains reached.
// Returns the frames left in the ramp, 0 when the gains are constant.
static int plan_ramp(Voice* voice)
{
    if (voice->ramp_left != 0 && voice->target_left == voice->seen_left &&
        voice->target_right == voice->seen_right)
        return voice->ramp_left;
    voice->seen_left = voice->target_left;
    voice->seen_right = voice->target_right;
    int left = voice->target_left - voice->current_left / 256;
    int right = voice->target_right - voice->current_right / 256;
    voice->step_left = left ? static_cast<float>(left) / 255.0f * sound_output.ramp_scale : 0.0f;
    voice->step_right = right ? static_cast<float>(right) / 255.0f * sound_output.ramp_scale : 0.0f;
    voice->ramp_left = (left || right) ? sound_output.ramp_frames : 0;
    return voice->ramp_left;
}

// After n ramp frames: a finished ramp settles exactly on its targets.
static void end_ramp_frames(Voice* voice, int n)
{
    voice->ramp_left -= n;
    if (voice->ramp_left > 0) return;
    voice->ramp_left = 0;
    voice->step_left = voice->step_right = 0.0f;
    voice->current_left = 256 * voice->target_left;
    voice->current_right = 256 * voice->target_right;
}

// Ping-pong: reflect a position that crossed a loop boundary, again and
// again while it overshoots the other one. Works on q, the position
// relative to the loop start; `overshoot` is how far past the boundary the
// voice went. Two reflections in a row move a position by exactly two loop
// lengths, so the remainder modulo 2 x span gives the final state at once.
static uint64_t reflect(Voice* voice, uint64_t start, uint64_t span, uint64_t overshoot, bool backward)
{
    uint64_t period = 2 * span;
    if (!backward) {
        // Past the end: back at end - overshoot - 2^-32, moving backward.
        uint64_t r = overshoot % period;
        if (r < span) {
            voice->direction = 2;
            return start + span - 1 - r;
        }
        voice->direction = 1;
        return start + (r - span);
    }
    // Below the start: forward at start + overshoot - 2^-32; a voice that
    // landed exactly on the start turns there rather than 2^-32 before it.
    voice->direction = 1;
    if (overshoot == 0) return start;
    uint64_t r = (overshoot - 1) % period + 1;
    if (r - 1 < span) return start + (r - 1);
    voice->direction = 2;
    return start + (period - r);
}

// The voice reached its end: loop it, reflect it or let it fall silent.
static uint64_t end_reached(Voice* voice, const Sample* sample, uint64_t position, bool backward)
{
    uint64_t start = static_cast<uint64_t>(sample->loop_start) << FRACTION_BITS;
    uint64_t span = static_cast<uint64_t>(sample->loop_length) << FRACTION_BITS;
    if (span == 0 || (sample->loop_type != LOOP_FORWARD && sample->loop_type != LOOP_PINGPONG)) {
        voice->sample = nullptr;
        return 0;
    }
    if (sample->loop_type == LOOP_PINGPONG)
        return reflect(voice, start, span, backward ? start - position : position - start - span, backward);
    voice->direction = 1;  // a forward loop only ever runs forward
    if (backward) return start;
    // Whole loop lengths back from the end; the fraction is kept.
    return start + (position - start) % span;
}

// Frames until a voice `distance` away from its end reaches it: the exact
// ceiling, so the last frame read lies before the boundary and the
// position after it at or beyond it. A voice that does not move never does.
static inline uint64_t frames_to_end(uint64_t distance, uint64_t step)
{
    if (step == 0) return distance ? ~0ull : 0;
    return distance / step + (distance % step != 0);
}

// Adds `frames` frames of one voice to `out`, segment by segment: each
// segment ends at the sample's end, at the ramp's end, or at the call's end.
static void mix_voice(Voice* voice, float* out, int frames)
{
    while (frames > 0 && voice->sample) {
        const Sample* sample = voice->sample;
        if (!sample->data) {  // nothing to play: the voice has ended
            voice->sample = nullptr;
            store_position(voice, 0);
            return;
        }
        uint64_t start = static_cast<uint64_t>(sample->loop_start) << FRACTION_BITS;
        uint64_t end = start + (static_cast<uint64_t>(sample->loop_length) << FRACTION_BITS);
        uint64_t position = voice_position(voice);
        uint64_t step = static_cast<uint64_t>(voice->increment) << FRACTION_BITS | voice->increment_fraction;
        if (step > MAX_STEP) step = MAX_STEP;
        bool backward = voice->direction == 2;
        // A position beyond its end plays as if it stood at its end.
        if (position >= end) {
            position = end;
            backward = false;
        } else if (backward && position < start) {
            position = start;
        }
        uint64_t needed = frames_to_end(backward ? position - start : end - position, step);
        int n = frames;
        bool reaches = needed <= static_cast<uint64_t>(frames);
        if (reaches) n = static_cast<int>(needed);
        int ramp = plan_ramp(voice);
        if (ramp > 0 && ramp < n) {
            n = ramp;
            reaches = false;
        }
        uint64_t signed_step = backward ? 0 - step : step;
        if (ramp > 0) {
            position = mix_ramp(voice, sample->data, position, signed_step, out, n);
            end_ramp_frames(voice, n);
        } else if (voice->target_left == 0 && voice->target_right == 0) {
            // Silent (a faded-out note still looping): only the position
            // moves, exactly as n steps would move it.
            position += signed_step * static_cast<uint64_t>(n);
        } else {
            position = mix_constant(sample->data, position, signed_step,
                                    static_cast<float>(voice->target_left) / 255.0f,
                                    static_cast<float>(voice->target_right) / 255.0f, out, n);
        }
        if (reaches) position = end_reached(voice, sample, position, backward);
        store_position(voice, position);
        frames -= n;
        out += 2 * n;
    }
}

void mix_voices(float* output, int frames)
{
    if (!output || frames < 1) return;
    for (int i = 0; i < MIXED_VOICES; ++i) {
        Voice* voice = &sound_output.voices[i];
        if (voice->sample) mix_voice(voice, output, frames);
    }
}

bool voices_silent(void)
{
    for (int i = 0; i < MIXED_VOICES; ++i) {
        const Voice* voice = &sound_output.voices[i];
        if (!voice->sample || !voice->sample->data) continue;
        // A ramp still under way, or a gain reached or wanted, is heard.
        if (voice->target_left || voice->target_right || voice->current_left || voice->current_right ||
            voice->ramp_left)
            return false;
    }
    return true;
}

void clip_to_pcm16(int16_t* destination, const float* source, int frames)
{
    if (!destination || !source || frames <= 0) return;
    convert_to_pcm16(destination, source, 2 * frames);
}
