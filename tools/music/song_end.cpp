#include "tools/music/song_end.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

const int RECORD_TICKS = 1024;  // well over the two seconds the ring runs ahead

// Written by the tick handler (on the mixing thread once playback runs),
// read by the status line on the main thread.
struct Record {
    std::atomic<uint64_t> frame{0};
    std::atomic<uint64_t> packed{0};  // order, pattern, row, ringing, peak
};

struct SongEnd {
    uint32_t pass_ticks = 0;
    bool loop = false;
    uint64_t tail_frames = 0, fade_frames = 0;
    // Owned by the tick handler.
    uint32_t ticks = 0;       // ticks run
    uint64_t frame = 0;       // where the next tick starts
    uint64_t pass_end = 0;    // frame the ring-out started at
    int fade_from = 0;        // global volume when the ring-out started
    int64_t peak_block = -1;  // block whose peak was measured last
    int peak = 0;
    // Shared.
    std::atomic<bool> ended{false};
    std::atomic<uint64_t> end_frame{0};
    std::atomic<uint32_t> recorded{0};
    Record records[RECORD_TICKS];
};

SongEnd state;

// The largest magnitude in the last block completed before `frame`: blocks
// are filled in order from frame 0 of the ring, and the one holding
// `frame` is still being mixed.
int last_block_peak(uint64_t frame)
{
    const int block = output_block_frames();
    if (block <= 0) return 0;
    const int64_t index = static_cast<int64_t>(frame / static_cast<uint64_t>(block)) - 1;
    if (index < 0) return 0;
    if (index == state.peak_block) return state.peak;
    state.peak_block = index;
    state.peak = output_block_peak(static_cast<uint64_t>(index));
    return state.peak;
}

void record_tick(const Song* song, bool ringing)
{
    const uint32_t n = state.recorded.load(std::memory_order_relaxed);
    Record& record = state.records[n % RECORD_TICKS];
    const uint64_t order = static_cast<uint64_t>(song->order_index) & 0xFF;
    const uint64_t pattern = song->orders[order];
    const uint64_t row = static_cast<uint64_t>(song->row) & 0xFF;
    const uint64_t peak = static_cast<uint64_t>(last_block_peak(state.frame));
    record.frame.store(state.frame, std::memory_order_relaxed);
    record.packed.store(order | pattern << 8 | row << 16 | uint64_t{ringing} << 24 | peak << 32,
                        std::memory_order_relaxed);
    state.recorded.store(n + 1, std::memory_order_release);
}

// A tick of the ring-out: no row is read; the global volume falls over the
// last FADE_MS. Ends it once nothing sounds or the time is up.
void ring_out_tick(Song* song)
{
    const uint64_t into = state.frame - state.pass_end;
    if (into >= state.tail_frames) {
        state.end_frame.store(state.pass_end + state.tail_frames);
        state.ended.store(true);
        return;
    }
    // The volume for the end of this tick, so the fade reaches 0 by the
    // end of the ring-out, whatever the tick length.
    const uint64_t after = into + static_cast<uint64_t>(song->frames_per_tick);
    const uint64_t left = after < state.tail_frames ? state.tail_frames - after : 0;
    if (left < state.fade_frames)
        song->global_volume = static_cast<int>(state.fade_from * left / state.fade_frames);
    if (play_ring_out_tick(song)) {
        state.end_frame.store(state.frame);
        state.ended.store(true);
    }
}

void song_end_tick(Song* song)
{
    if (state.loop || state.ticks < state.pass_ticks) {
        play_tick(song);
        record_tick(song, false);
    } else if (!state.ended.load(std::memory_order_relaxed)) {
        if (state.ticks == state.pass_ticks) {
            state.pass_end = state.frame;
            state.fade_from = song->global_volume;
            release_notes(song);
        }
        record_tick(song, true);
        ring_out_tick(song);
    }
    // The block fill reads the tick's length after this call.
    state.ticks += 1;
    state.frame += static_cast<uint64_t>(song->frames_per_tick > 0 ? song->frames_per_tick : 1);
}

}  // namespace

uint64_t tail_frames(int rate) { return static_cast<uint64_t>(rate) * TAIL_MS / 1000; }

void start_song_end(Song* song, const SongPass& pass, int rate, bool loop)
{
    state.pass_ticks = pass.ticks;
    state.loop = loop;
    state.tail_frames = tail_frames(rate);
    state.fade_frames = static_cast<uint64_t>(rate) * FADE_MS / 1000;
    state.ticks = 0;
    state.frame = 0;
    state.pass_end = 0;
    state.peak_block = -1;
    state.peak = 0;
    state.ended.store(false);
    state.end_frame.store(0);
    state.recorded.store(0);
    song->tick_handler = song_end_tick;
}

bool song_end_reached(uint64_t* end_frame)
{
    if (!state.ended.load()) return false;
    *end_frame = state.end_frame.load();
    return true;
}

uint64_t render_song(uint64_t limit, int rate, const std::function<bool(const int16_t*, uint32_t)>& write)
{
    std::vector<int16_t> frames(2 * static_cast<size_t>(rate));
    uint64_t done = 0, end = 0;
    // Only a song the song-end handler plays has an end: what an earlier
    // render left of it says nothing about another song, or about one
    // rendered for a set length.
    const Song* song = output_song();
    const bool ends = song && song->tick_handler == song_end_tick;
    // The ring runs two seconds ahead of what is rendered, so the end is
    // known before the rendering reaches it.
    auto until = [&] { return ends && song_end_reached(&end) ? std::min(end, limit) : limit; };
    while (done < until()) {
        const uint64_t left = until() - done;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, static_cast<uint64_t>(rate)));
        render_offline(frames.data(), n);
        if (!write(frames.data(), n)) break;
        done += n;
    }
    return done;
}

SongMoment song_moment_at(uint64_t frame)
{
    SongMoment moment;
    const uint32_t n = state.recorded.load(std::memory_order_acquire);
    const uint32_t oldest = n > RECORD_TICKS / 2 ? n - RECORD_TICKS / 2 : 0;  // never one being rewritten
    for (uint32_t i = n; i-- > oldest;) {
        const Record& record = state.records[i % RECORD_TICKS];
        const uint64_t at = record.frame.load(std::memory_order_relaxed);
        const uint64_t packed = record.packed.load(std::memory_order_relaxed);
        moment = {at,
                  static_cast<int>(packed & 0xFF),
                  static_cast<int>(packed >> 8 & 0xFF),
                  static_cast<int>(packed >> 16 & 0xFF),
                  static_cast<int>(packed >> 32),
                  (packed >> 24 & 1) != 0};
        if (at <= frame) break;
    }
    return moment;
}
