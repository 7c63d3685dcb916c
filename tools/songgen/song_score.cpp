// The composition: a chip piece in A minor at 130 BPM, one row a
// sixteenth note, one bar 16 rows. Channel 0 drums, 1 bass, 2 chords
// (arpeggios, stabs or pad), 3 lead. Parts are written with small step
// strings (one character a row) and note lists, then laid into the grids.
#include "tools/songgen/song_module.h"

#include <sstream>
#include <stdexcept>

namespace songgen {
namespace {

enum Instrument {
    KICK = 1,
    SNARE,
    HAT,
    OPEN_HAT,
    PULSE_BASS,
    SOFT_BASS,
    ARP,
    LEAD,
    HOOK,
    PAD,
    BELL,
    STAB,
};
enum Channel { DRUMS = 0, BASS = 1, CHORDS = 2, MELODY = 3 };
enum Effect {
    ARPEGGIO = 0x0,
    PORTA_UP = 0x1,
    TONE_PORTA = 0x3,
    VIBRATO = 0x4,
    VIBRATO_SLIDE = 0x6,
    EXTENDED = 0xE,
};

constexpr uint8_t VIBRATO_PARAM = 0x53;  // about 4 Hz, a third of a semitone
constexpr uint8_t PORTA_SPEED = 0x0C;    // three quarters of a semitone per tick

uint8_t set_volume(int v) { return static_cast<uint8_t>(0x10 + v); }

// "A4", "C#5", "Bb3" -> XM note number, C-0 = 1.
int note_number(const std::string& name)
{
    static const int semitone_of[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    int semitone = semitone_of[name.at(0) - 'A'];
    size_t i = 1;
    if (name.at(i) == '#') {
        ++semitone;
        ++i;
    } else if (name.at(i) == 'b') {
        --semitone;
        ++i;
    }
    int octave = name.at(i) - '0';
    return octave * 12 + semitone + 1;
}

// A chord: its root as a pitch class and the arpeggio that spells it.
struct Chord {
    int root;     // 0 = C .. 11 = B
    uint8_t arp;  // 0xy: the intervals above the root
};

// "Am", "F", "G#m": a root with an optional sharp or flat, then m for minor.
Chord chord(const std::string& name)
{
    bool minor = name.back() == 'm';
    std::string root_name = name.substr(0, name.size() - (minor ? 1 : 0));
    int root = (note_number(root_name + "4") - 1) % 12;
    return {root, static_cast<uint8_t>(minor ? 0x37 : 0x47)};  // minor or major triad
}

// Bass roots sit between G-1 and F#-2, chord roots between F#-3 and F-4.
int bass_root(const Chord& c) { return (c.root >= 7 ? 1 : 2) * 12 + c.root + 1; }
int chord_root(const Chord& c) { return (c.root >= 6 ? 3 : 4) * 12 + c.root + 1; }

struct Span {
    const char* chord;
    int rows;
};

// --- Drums -----------------------------------------------------------------
// k kick, s snare, g ghost snare, h hat, o open hat, x y z toms (the kick
// played higher), . nothing.
void drums(Grid& g, int row, const std::string& steps)
{
    for (size_t i = 0; i < steps.size(); ++i) {
        Cell& c = g.at(row + static_cast<int>(i), DRUMS);
        // clang-format off
        switch (steps[i]) {
        case 'k': c.note = note_number("C4"); c.instrument = KICK; break;
        case 's': c.note = note_number("C4"); c.instrument = SNARE; break;
        case 'g': c.note = note_number("C4"); c.instrument = SNARE; c.volume = set_volume(18); break;
        case 'h': c.note = note_number("C4"); c.instrument = HAT; break;
        case 'o': c.note = note_number("C4"); c.instrument = OPEN_HAT; break;
        case 'x': c.note = note_number("C5"); c.instrument = KICK; break;
        case 'y': c.note = note_number("G4"); c.instrument = KICK; break;
        case 'z': c.note = note_number("D4"); c.instrument = KICK; break;
        case '.': break;
        default: throw std::runtime_error("drum step " + steps);
        }
        // clang-format on
    }
}

// Snare on every row, growing from `from` to `to` in volume: the build
// before a drop.
void snare_roll(Grid& g, int row, int rows, int from, int to)
{
    for (int i = 0; i < rows; ++i) {
        Cell& c = g.at(row + i, DRUMS);
        c.note = note_number("C4");
        c.instrument = SNARE;
        c.volume = set_volume(from + (to - from) * i / (rows > 1 ? rows - 1 : 1));
    }
}

// --- Bass ------------------------------------------------------------------
// R root, O octave above, . nothing. Every note restarts the instrument,
// so each one is plucked.
void bassline(Grid& g, int row, const std::vector<Span>& spans, const std::string& bar, int instrument)
{
    for (const Span& s : spans) {
        Chord c = chord(s.chord);
        for (int i = 0; i < s.rows; ++i) {
            char step = bar[i % bar.size()];
            Cell& cell = g.at(row + i, BASS);
            if (step == '.') continue;
            if (step != 'R' && step != 'O') throw std::runtime_error("bass step " + bar);
            cell.note = static_cast<uint8_t>(bass_root(c) + (step == 'O' ? 12 : 0));
            cell.instrument = static_cast<uint8_t>(instrument);
        }
        row += s.rows;
    }
}

// --- Chords ----------------------------------------------------------------
// x strike the chord, . let the arpeggio run, - plain cell (the root
// alone sounds on). The arpeggio needs its 0xy on every row.
void chords(Grid& g, int row, const std::vector<Span>& spans, const std::string& bar, int instrument)
{
    for (const Span& s : spans) {
        Chord c = chord(s.chord);
        for (int i = 0; i < s.rows; ++i) {
            char step = bar[i % bar.size()];
            Cell& cell = g.at(row + i, CHORDS);
            if (step == '-') continue;
            cell.effect = ARPEGGIO;
            cell.param = c.arp;
            if (step == 'x' || i == 0) {
                cell.note = static_cast<uint8_t>(chord_root(c));
                cell.instrument = static_cast<uint8_t>(instrument);
            }
        }
        row += s.rows;
    }
}

// --- Melody ----------------------------------------------------------------
// Tokens "NOTE:ROWS" with an optional ~ before the note (glide to it
// with tone portamento) and v after the rows (vibrato from the third row
// on) or f (the same vibrato, fading out through its second half);
// ".:ROWS" releases the note, "-:ROWS" leaves the rows empty.
int melody(Grid& g, int channel, int row, int instrument, const std::string& line)
{
    std::istringstream in(line);
    std::string token;
    while (in >> token) {
        size_t colon = token.find(':');
        std::string pitch = token.substr(0, colon);
        std::string length = token.substr(colon + 1);
        bool fade = length.back() == 'f';
        bool vibrato = fade || length.back() == 'v';
        if (vibrato) length.pop_back();
        int rows = std::stoi(length);
        Cell& first = g.at(row, channel);
        if (pitch == ".") {
            first.note = KEY_OFF;
        } else if (pitch != "-") {
            bool glide = pitch[0] == '~';
            first.note = static_cast<uint8_t>(note_number(glide ? pitch.substr(1) : pitch));
            if (glide) {
                first.effect = TONE_PORTA;
                first.param = PORTA_SPEED;
                if (rows > 1) g.at(row + 1, channel).effect = TONE_PORTA;
            } else {
                first.instrument = static_cast<uint8_t>(instrument);
            }
        }
        for (int i = 2; vibrato && i < rows; ++i) {
            Cell& c = g.at(row + i, channel);
            c.effect = VIBRATO;
            c.param = i == 2 ? VIBRATO_PARAM : 0;  // 400 keeps speed and depth
            if (fade && i >= rows / 2) {
                // 6xy: the vibrato goes on while the volume falls 2 a tick.
                c.effect = VIBRATO_SLIDE;
                c.param = i == rows / 2 ? 0x02 : 0;
            }
        }
        row += rows;
    }
    return row;
}

void effect(Grid& g, int row, int channel, int type, int param)
{
    g.at(row, channel).effect = static_cast<uint8_t>(type);
    g.at(row, channel).param = static_cast<uint8_t>(param);
}

// Plays the whole pattern twice: E60 on its first row, E61 on its last.
void loop_twice(Grid& g)
{
    effect(g, 0, DRUMS, EXTENDED, 0x60);
    effect(g, g.rows - 1, DRUMS, EXTENDED, 0x61);
}

// --- The patterns ----------------------------------------------------------

const std::vector<Span> VERSE_A = {{"Am", 16}, {"F", 16}};
const std::vector<Span> VERSE_B = {{"C", 16}, {"G", 16}};
const std::vector<Span> VERSE_D = {{"C", 16}, {"E", 16}};
const char* const GROOVE = "k.h.s.h.k.k.s.h.k.h.s.h.k.khs.hh";
const char* const OCTAVES = "R.O.R.O.R.O.R.O.";
const char* const PULSE_CHORDS = "x.......x.......";

// 0: title, 56 rows. Chords swell in over Am F G E, the pad climbs
// E F G G#, and a snare roll leads into the groove.
Grid title()
{
    Grid g(56);
    const std::vector<Span> spans = {{"Am", 16}, {"F", 16}, {"G", 16}, {"E", 8}};
    chords(g, 0, spans, "x.......", ARP);
    for (int row = 0; row < 56; row += 8) g.at(row, CHORDS).volume = set_volume(12 + row * 40 / 48);
    g.at(52, CHORDS).note = g.at(48, CHORDS).note;
    g.at(52, CHORDS).instrument = ARP;
    g.at(52, CHORDS).volume = set_volume(56);
    melody(g, MELODY, 0, PAD, "E5:16 F5:16 G5:16 G#5:8");
    melody(g, BASS, 0, SOFT_BASS, "A1:16 F2:16 G1:16");
    bassline(g, 48, {{"E", 8}}, "R.O.R.R.", PULSE_BASS);
    drums(g, 32, "..h...h...h..h.hk");
    snare_roll(g, 49, 7, 20, 60);
    return g;
}

Grid groove(const std::vector<Span>& spans, const char* bell_line, const char* beat)
{
    Grid g(32);
    drums(g, 0, beat);
    bassline(g, 0, spans, OCTAVES, PULSE_BASS);
    chords(g, 0, spans, PULSE_CHORDS, ARP);
    if (bell_line) melody(g, MELODY, 0, BELL, bell_line);
    return g;
}

Grid verse(const std::vector<Span>& spans, const char* line, const char* beat)
{
    Grid g = groove(spans, nullptr, beat);
    melody(g, MELODY, 0, LEAD, line);
    return g;
}

// 7: build-up, Dm Em F G two beats each; stabs and rising triads over a
// snare roll, then a held breath of three rows (EE2) before the drop.
Grid build_up()
{
    Grid g(32);
    const std::vector<Span> spans = {{"Dm", 8}, {"Em", 8}, {"F", 8}, {"G", 8}};
    drums(g, 0, "k.s.k.s.k.s.k.s.");
    snare_roll(g, 16, 14, 22, 64);
    bassline(g, 0, {{"Dm", 8}, {"Em", 8}}, "R.R.R.R.", PULSE_BASS);
    bassline(g, 16, {{"F", 8}, {"G", 6}}, "RORORORO", PULSE_BASS);
    g.at(30, BASS).note = KEY_OFF;
    chords(g, 0, spans, "x.x.x.x.", STAB);
    g.at(30, CHORDS) = Cell{};
    g.at(30, CHORDS).note = KEY_OFF;
    g.at(31, CHORDS) = Cell{};
    melody(g, MELODY, 0, HOOK, "D5:2 F5:2 A5:4 E5:2 G5:2 B5:4 F5:2 A5:2 C6:4 G5:2 B5:2 D6:4v");
    effect(g, 31, DRUMS, EXTENDED, 0xE2);
    return g;
}

const char* const CHORUS_BEAT = "k.o.s.hkk.o.s.hhk.o.s.hkk.o.sshs";
const char* const CHORUS_BASS = "R.OR.OR.R.OR.ORO";

Grid chorus(const std::vector<Span>& spans, const char* line)
{
    Grid g(32);
    drums(g, 0, CHORUS_BEAT);
    bassline(g, 0, spans, CHORUS_BASS, PULSE_BASS);
    chords(g, 0, spans, "x.x.x.x.", ARP);
    melody(g, MELODY, 0, HOOK, line);
    return g;
}

// 11, 12: the quiet middle, each played twice through its pattern loop:
// a heartbeat kick, a long soft bass, the pad shimmering through the
// chord below the lead, and the lead gliding.
Grid breakdown(const std::vector<Span>& spans, const char* line)
{
    Grid g(32);
    drums(g, 0, "k.......h.......k.......h...h...");
    bassline(g, 0, spans, "R...............", SOFT_BASS);
    chords(g, 0, spans, "x...............", PAD);
    melody(g, MELODY, 0, LEAD, line);
    loop_twice(g);
    return g;
}

// 13: drum break on A, six beats long: a busy bar and a half-bar tom
// fill, pumping octaves, stabs, and the lead sliding up ten semitones
// under portamento while it swells. Its length puts the chorus that
// follows it in the middle of the order list on the start of scene 3.
Grid drum_break()
{
    Grid g(24);
    drums(g, 0, "k.hhs.hkk.hhs.hhxxyyzsss");
    bassline(g, 0, {{"Am", 24}}, "R.RORO.OR.RORO.O", PULSE_BASS);
    chords(g, 0, {{"Am", 24}}, "x.-x.-x.--x.-x.-", STAB);
    melody(g, MELODY, 8, HOOK, "A4:16");
    g.at(8, MELODY).volume = set_volume(16);
    for (int row = 9; row < 24; ++row) {
        effect(g, row, MELODY, PORTA_UP, row == 9 ? 2 : 0);
        g.at(row, MELODY).volume = 0x93;  // fine volume slide: 3 up a row
    }
    return g;
}

}  // namespace

ModuleData compose_song()
{
    ModuleData m;
    m.name = "Brindlec";
    m.instruments = make_instruments();
    m.patterns.push_back(title());  // 0
    m.patterns.push_back(groove(VERSE_A, "-:2 E5:4 A5:4 E5:2 C6:4 -:2 F5:4 A5:4 F5:2 C6:4", GROOVE));
    m.patterns.push_back(groove(VERSE_B, "-:2 E5:4 G5:4 E5:2 C6:4 -:2 D5:4 G5:4 D5:2 B5:4",
                                "k.h.s.h.k.k.s.h.k.h.s.h.k.ksgss."));
    m.patterns.push_back(verse(VERSE_A, "A4:3 C5:3 E5:2 A5:4 G5:2 E5:2 F5:6v E5:2 C5:4 A4:4", GROOVE));
    m.patterns.push_back(verse(VERSE_B, "G4:3 C5:3 E5:2 G5:4 F5:2 E5:2 D5:6v B4:2 G4:4 B4:2 D5:2", GROOVE));
    m.patterns.push_back(
        verse(VERSE_A, "E5:2 A5:2 B5:2 C6:4 B5:2 A5:2 E5:2 F5:4 A5:4 C6:3 B5:3 A5:2", GROOVE));
    m.patterns.push_back(
        verse(VERSE_D, "G5:6v E5:2 C5:4 E5:2 G5:2 G#5:6v B5:2 E5:4 .:4", "k.h.s.h.k.k.s.h.k.h.s.h.k.sxsyz"));
    m.patterns.push_back(build_up());  // 7
    m.patterns.push_back(chorus({{"F", 16}, {"G", 16}}, "A5:6 C6:2 A5:4 G5:2 F5:2 G5:6 B5:2 D6:4 C6:2 B5:2"));
    m.patterns.push_back(chorus({{"Em", 16}, {"Am", 16}}, "B5:8v G5:4 E5:4 A5:12v E5:2 G5:2"));
    m.patterns.push_back(chorus({{"C", 16}, {"E", 16}}, "E6:6 D6:2 C6:4 B5:2 C6:2 B5:8v G#5:4 E5:2 G#5:2"));
    m.patterns.push_back(breakdown({{"Dm", 16}, {"Am", 16}}, "F5:8 E5:4 D5:4 E5:12v C5:2 D5:2"));  // 11
    m.patterns.push_back(breakdown({{"F", 16}, {"E", 16}}, "A5:8 G5:4 F5:4 E5:4 G#5:4 ~B5:8f"));
    m.patterns.push_back(drum_break());                             // 13
    m.orders = {0,  1,  2,  1,  2,  3,  4, 5, 6,  3,  4,  5, 6,     // title, groove, verses
                7,  8,  9,  8,  10, 8,  9, 8, 10, 11, 13,           // build, chorus, break
                8,  9,  8,  10, 7,  8,  9, 8,                       // the climax
                11, 12, 11, 12, 7,  8,  9, 8, 10, 13, 3,  4, 5, 6,  // the credits
                8,  9,  8,  10, 11, 12, 7, 8, 9,  8,  10, 1};
    m.restart_position = 4;
    fill_to_size(m, MODULE_BYTES);
    return m;
}

}  // namespace songgen
