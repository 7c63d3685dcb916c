// pcm_lag CAPTURE.raw RENDER.wav: compares what an audio device played
// (raw 16-bit stereo frames, as SDL's disk driver writes them) with the
// same song rendered offline (brindlec-music --wav), block by block.
//
// The mixing thread writes song frame s at ring position s mod ring, and
// the device reads the ring in a loop from its first frame, so every
// block the device plays is the song's block at the same position minus
// a whole number of rings: lag 0 while the thread keeps pace, lag 1 once
// the device has played a ring the thread had not refilled (old music
// repeated), and the song then goes on one ring late. Prints, as lines of
// "name value":
//   onset_frame         first frame of the song in the capture
//   blocks              whole blocks after the onset
//   run LAG FIRST LAST  a run of blocks played at lag LAG (rings)
//   unmatched           blocks that are no block of the song at any lag
//   repeated_blocks     blocks played a second time
//   quiet_seconds       whole seconds after the onset with an RMS below
//                       -50 dBFS
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

// The sound output's block at 22050 Hz, its ring of 100 blocks, and the
// most rings late a block is looked for.
const size_t BLOCK_FRAMES = 444, RING_FRAMES = 44400, RATE = 22050;
const int MAX_LAG = 8;

std::vector<int16_t> read_frames(const char* path, bool wav)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    uint32_t size = 0;
    // The "data" chunk follows the RIFF chunks before it.
    for (size_t at = 12; wav && at + 8 <= bytes.size(); at += 8 + size) {
        std::memcpy(&size, &bytes[at + 4], 4);
        if (std::memcmp(&bytes[at], "data", 4) == 0) {
            start = at + 8;
            break;
        }
    }
    std::vector<int16_t> values((bytes.size() - start) / 2);
    if (!values.empty()) std::memcpy(values.data(), &bytes[start], values.size() * 2);
    return values;
}

size_t first_nonzero_frame(const std::vector<int16_t>& values)
{
    size_t i = 0;
    while (i < values.size() && values[i] == 0) ++i;
    return i / 2;
}

// Whether capture block b (after the onset) equals the song's block at
// position b minus `lag` rings.
bool matches(const std::vector<int16_t>& capture, size_t onset, const std::vector<int16_t>& render,
             size_t block, int lag)
{
    const size_t position = block * BLOCK_FRAMES, back = size_t(lag) * RING_FRAMES, song = position - back;
    return position >= back && 2 * (song + BLOCK_FRAMES) <= render.size() &&
           std::memcmp(&capture[2 * (onset + position)], &render[2 * song], 4 * BLOCK_FRAMES) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pcm_lag CAPTURE.raw RENDER.wav\n");
        return 2;
    }
    const std::vector<int16_t> capture = read_frames(argv[1], false), render = read_frames(argv[2], true);
    const size_t render_start = first_nonzero_frame(render), capture_start = first_nonzero_frame(capture);
    if (render_start * 2 >= render.size() || capture_start * 2 >= capture.size() || capture_start < render_start) {
        std::printf("onset_frame none\n");
        return 1;
    }
    const size_t onset = capture_start - render_start, blocks = (capture.size() / 2 - onset) / BLOCK_FRAMES;
    // Everything before the onset is silence by construction: the first
    // value that is not 0 is the song's first.
    std::printf("onset_frame %zu\nblocks %zu\n", onset, blocks);

    int lag = 0, run_lag = -1;
    size_t run_first = 0, unmatched = 0, repeated = 0;
    std::set<size_t> heard;  // song blocks heard so far
    for (size_t b = 0; b < blocks; ++b) {
        int found = matches(capture, onset, render, b, lag) ? lag : -1;
        for (int l = 0; found < 0 && l <= MAX_LAG; ++l) found = matches(capture, onset, render, b, l) ? l : -1;
        if (found < 0 && ++unmatched) continue;
        lag = found;
        repeated += !heard.insert(b - size_t(lag) * RING_FRAMES / BLOCK_FRAMES).second;
        if (run_lag != lag && run_lag >= 0) std::printf("run %d %zu %zu\n", run_lag, run_first, b - 1);
        if (run_lag != lag) run_lag = lag, run_first = b;
    }
    if (run_lag >= 0) std::printf("run %d %zu %zu\n", run_lag, run_first, blocks - 1);

    size_t quiet = 0;
    for (size_t second = 0; (second + 1) * RATE <= capture.size() / 2 - onset; ++second) {
        double sum = 0;
        for (size_t i = 2 * (onset + second * RATE); i < 2 * (onset + (second + 1) * RATE); ++i)
            sum += double(capture[i]) * capture[i];
        quiet += std::sqrt(sum / (2 * RATE)) / 32768.0 < std::pow(10.0, -50.0 / 20);
    }
    std::printf("unmatched %zu\nrepeated_blocks %zu\nquiet_seconds %zu\n", unmatched, repeated, quiet);
    return 0;
}
