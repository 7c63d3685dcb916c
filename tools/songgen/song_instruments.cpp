// The song's 13 instruments. Every sample is computed here: single-cycle
// waveforms of 32 values (so C-4 sounds at 8363 / 32 Hz, middle C), a kick
// drum from a falling sine sweep, and snare and hi-hats from a fixed-seed
// noise generator. Drums use short noise loops shaped by the volume
// envelope, which keeps the whole module small.
#include "tools/songgen/song_module.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace songgen {
namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int CYCLE = 32;  // values per waveform cycle
constexpr int OPEN_HAT_INDEX = 3;
constexpr uint32_t OPEN_HAT_SEED = 0x0B1E55EDu;

int8_t clamp8(double v)
{
    long r = std::lround(v);
    return static_cast<int8_t>(std::clamp(r, -127L, 127L));
}

// xorshift32 with a fixed seed per sound: the same noise on every run.
struct Noise {
    uint32_t state;
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state & 0xFFFF) / 32767.5 - 1.0;  // -1..1
    }
};

// A pulse wave with the given number of high values out of 32, its two
// levels chosen so that the cycle has no DC: a pulse of any duty then
// starts and stops without a thump. The cycle starts in the middle of its
// high part, so a plucked note's louder first cycles stay balanced too.
std::vector<int8_t> pulse(int high_values, double peak)
{
    double high_share = static_cast<double>(high_values) / CYCLE;
    double high = peak, low = -peak * high_share / (1.0 - high_share);
    if (high_share > 0.5) {
        low = -peak;
        high = peak * (1.0 - high_share) / high_share;
    }
    std::vector<int8_t> wave(CYCLE);
    for (int i = 0; i < CYCLE; ++i) {
        int from_centre = (i + high_values / 2) % CYCLE;
        wave[i] = clamp8(from_centre < high_values ? high : low);
    }
    return wave;
}

// The same cycle upside down: the bass starts low, which balances the
// part-cycles its short notes leave when they are cut.
std::vector<int8_t> negated(std::vector<int8_t> wave)
{
    for (int8_t& v : wave) v = static_cast<int8_t>(-v);
    return wave;
}

std::vector<int8_t> saw(double peak)
{
    std::vector<int8_t> wave(CYCLE);
    for (int i = 0; i < CYCLE; ++i) wave[i] = clamp8(peak * ((i + 0.5) / (CYCLE / 2) - 1.0));
    return wave;
}

std::vector<int8_t> triangle(double peak)
{
    std::vector<int8_t> wave(CYCLE);
    for (int i = 0; i < CYCLE; ++i) {
        double phase = (i + 0.5) / CYCLE;  // 0..1
        double v = phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
        wave[i] = clamp8(peak * v);
    }
    return wave;
}

// Removes the DC of a decaying sound by subtracting a multiple of its own
// decay curve, so the correction fades out with the sound.
void remove_dc(std::vector<int8_t>& pcm, const std::vector<double>& decay)
{
    double sum = 0.0, weight = 0.0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        sum += pcm[i];
        weight += decay[i];
    }
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = clamp8(pcm[i] - sum / weight * decay[i]);
}

// The sample rate a sample is heard at when C-4 is played on it.
double c4_rate(int relative_note) { return 8363.0 * std::pow(2.0, relative_note / 12.0); }

// Kick: a sine falling from 176 Hz to 46 Hz with a fast exponential
// decay; played higher it doubles as a tom.
std::vector<int8_t> kick_drum(int length, int relative_note)
{
    double rate = c4_rate(relative_note), phase = 0.0;
    std::vector<int8_t> pcm(length);
    std::vector<double> decay(length);
    for (int i = 0; i < length; ++i) {
        double t = i / rate;
        double frequency = 46.0 + 130.0 * std::exp(-t / 0.04);
        decay[i] = std::exp(-t / 0.13) * std::min(1.0, (length - i) / 48.0);
        pcm[i] = clamp8(122.0 * decay[i] * std::sin(phase));
        phase += 2.0 * PI * frequency / rate;
    }
    remove_dc(pcm, decay);
    return pcm;
}

// Snare: a short 185 Hz body under noise, then a loop of plain noise
// that the envelope cuts off.
std::vector<int8_t> snare_drum(int body, int loop, int relative_note)
{
    double rate = c4_rate(relative_note);
    Noise noise{0x5EED1234u};
    std::vector<int8_t> pcm(body + loop);
    for (int i = 0; i < body + loop; ++i) {
        double t = i / rate;
        double tone = i < body ? std::sin(2.0 * PI * 185.0 * t) * (1.0 - double(i) / body) : 0.0;
        pcm[i] = clamp8(70.0 * tone + 88.0 * noise.next());
    }
    // The body and the loop each without DC: the loop repeats for as long
    // as the envelope lets it sound.
    std::vector<int8_t> head(pcm.begin(), pcm.begin() + body), tail(pcm.begin() + body, pcm.end());
    std::vector<double> fade(body), flat(loop, 1.0);
    for (int i = 0; i < body; ++i) fade[i] = 1.0 - double(i) / body;
    remove_dc(head, fade);
    remove_dc(tail, flat);
    std::copy(head.begin(), head.end(), pcm.begin());
    std::copy(tail.begin(), tail.end(), pcm.begin() + body);
    return pcm;
}

// Hi-hat: noise through a first difference, which keeps the upper
// frequencies; looped, so the envelope decides how long it rings.
std::vector<int8_t> hat_noise(int length, uint32_t seed)
{
    Noise noise{seed};
    std::vector<int8_t> pcm(length);
    double previous = noise.next();
    for (int i = 0; i < length; ++i) {
        double v = noise.next();
        pcm[i] = clamp8(60.0 * (v - previous));
        previous = v;
    }
    remove_dc(pcm, std::vector<double>(length, 1.0));
    return pcm;
}

SampleData looped_sample(std::vector<int8_t> pcm, uint32_t loop_start, uint8_t volume, uint8_t panning = 128,
                         int8_t relative_note = 0)
{
    SampleData s;
    s.looped = true;
    s.loop_start = loop_start;
    s.loop_length = static_cast<uint32_t>(pcm.size()) - loop_start;
    s.pcm = std::move(pcm);
    s.volume = volume;
    s.panning = panning;
    s.relative_note = relative_note;
    return s;
}

Envelope envelope(std::vector<EnvelopePoint> points, int sustain = -1, int loop_start = -1, int loop_end = -1)
{
    Envelope e;
    e.points = std::move(points);
    e.sustain = sustain;
    e.loop_start = loop_start;
    e.loop_end = loop_end;
    return e;
}

InstrumentData instrument(const char* name, SampleData sample, Envelope volume, uint16_t fadeout)
{
    InstrumentData ins;
    ins.name = name;
    ins.sample = std::move(sample);
    ins.volume = std::move(volume);
    ins.fadeout = fadeout;
    return ins;
}

void auto_vibrato(InstrumentData& ins, int sweep, int depth, int rate)
{
    ins.vibrato_type = 0;
    ins.vibrato_sweep = static_cast<uint8_t>(sweep);
    ins.vibrato_depth = static_cast<uint8_t>(depth);
    ins.vibrato_rate = static_cast<uint8_t>(rate);
}

}  // namespace

// The open hat's noise loop takes whatever room the module leaves: the
// longer the loop, the less its repetition colours the ring, and the
// module comes out at exactly `size` bytes, the size the intro carries.
void fill_to_size(ModuleData& module, size_t size)
{
    size_t used = write_xm(module).size();
    if (used > size) throw std::runtime_error("the module exceeds " + std::to_string(size) + " bytes");
    SampleData& hat = module.instruments.at(OPEN_HAT_INDEX).sample;
    hat.pcm = hat_noise(static_cast<int>(hat.pcm.size() + size - used), OPEN_HAT_SEED);
    hat.loop_length = static_cast<uint32_t>(hat.pcm.size()) - hat.loop_start;
}

std::vector<InstrumentData> make_instruments()
{
    std::vector<InstrumentData> list;
    // 1 kick: the decay is in the sample, no envelope.
    {
        SampleData s;
        s.relative_note = -12;  // C-4 plays the sweep at 4181.5 Hz
        s.pcm = kick_drum(820, s.relative_note);
        s.volume = 64;
        list.push_back(instrument("kick", s, Envelope{}, 0));
    }
    // 2 snare
    list.push_back(instrument("snare", looped_sample(snare_drum(240, 224, 0), 240, 64),
                              envelope({{0, 64}, {2, 50}, {6, 28}, {12, 12}, {20, 4}, {28, 0}}), 0));
    // 3 closed hat
    list.push_back(instrument("hat", looped_sample(hat_noise(160, 0xA5A5F00Du), 0, 50, 128, 12),
                              envelope({{0, 64}, {2, 26}, {5, 8}, {8, 0}}), 0));
    // 4 open hat, long enough to stand for a crash at the start of a section
    list.push_back(instrument("open hat", looped_sample(hat_noise(224, OPEN_HAT_SEED), 0, 50, 128, 10),
                              envelope({{0, 60}, {4, 40}, {14, 20}, {40, 6}, {64, 0}}), 0));
    // 5 pulse bass: half-duty square, plucked then held
    list.push_back(instrument("pulse bass", looped_sample(negated(pulse(16, 116)), 0, 40),
                              envelope({{0, 64}, {3, 54}, {12, 42}, {30, 36}}), 2048));
    // 6 soft bass: triangle, for the title and the quiet middle
    list.push_back(instrument("soft bass", looped_sample(triangle(127), 0, 52),
                              envelope({{0, 44}, {3, 64}, {40, 54}}), 1024));
    // 7 arpeggio: quarter-duty square, plucked, sustained, released by fadeout;
    // a little right of centre
    {
        InstrumentData ins = instrument("arp", looped_sample(pulse(8, 93), 0, 50, 151),
                                        envelope({{0, 64}, {4, 46}, {24, 36}, {60, 30}}), 512);
        list.push_back(ins);
    }
    // 8 lead: eighth-duty square with a vibrato that grows in, a little left
    {
        InstrumentData ins = instrument("lead", looped_sample(pulse(4, 127), 0, 64, 105),
                                        envelope({{0, 50}, {3, 64}, {10, 52}, {30, 46}, {42, 0}}, 3), 1024);
        auto_vibrato(ins, 36, 6, 14);
        list.push_back(ins);
    }
    // 9 climax lead: half-duty square, a little brighter vibrato, panned as the lead
    {
        InstrumentData ins = instrument("hook lead", looped_sample(pulse(12, 116), 0, 58, 105),
                                        envelope({{0, 56}, {2, 64}, {8, 54}, {24, 48}, {36, 0}}, 3), 1024);
        auto_vibrato(ins, 24, 8, 16);
        list.push_back(ins);
    }
    // 10 pad: saw with a slow swell, wandering from the right to the left and back
    {
        InstrumentData ins = instrument("pad", looped_sample(saw(107), 0, 50),
                                        envelope({{0, 0}, {24, 44}, {48, 52}, {96, 0}}, 2), 128);
        ins.panning = envelope({{0, 44}, {96, 20}, {192, 44}}, -1, 0, 2);
        auto_vibrato(ins, 0, 3, 9);
        list.push_back(ins);
    }
    // 11 bell: triangle pluck for echoes and counter-lines, further left
    list.push_back(instrument("bell", looped_sample(triangle(127), 0, 50, 83),
                              envelope({{0, 64}, {4, 34}, {16, 16}, {48, 4}, {80, 0}}), 512));
    // 12 stab: saw with a short decay, for the arpeggiated stabs of the build, to
    // the right
    list.push_back(instrument("stab", looped_sample(saw(111), 0, 46, 159),
                              envelope({{0, 64}, {3, 44}, {10, 22}, {24, 0}}), 512));
    // 13 no samples
    {
        InstrumentData ins;
        ins.name = "brindlec songgen";
        ins.has_sample = false;
        list.push_back(ins);
    }
    return list;
}

}  // namespace songgen
