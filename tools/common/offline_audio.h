// The music rendered without a device: what the looping ring plays from
// its first frame, block by block, through the real block fill.
#ifndef BRINDLEC_OFFLINE_AUDIO_H
#define BRINDLEC_OFFLINE_AUDIO_H

#include <cstdint>
#include <string>
#include <vector>

struct Song;

// Streams the song as the ring plays it: prepares playback on an output
// opened without a device, then hands out the ring's blocks in play order,
// refilling each one after it was taken, as the mixing thread does.
struct OfflineRender {
    int rate = 0;
    int next_block = 0;
    uint64_t frames_taken = 0;
};

// False when the output or the song cannot be set up.
bool start_offline_render(OfflineRender* render, Song* song, int rate);

// Appends the next `frames` stereo frames (interleaved 16-bit) to `out`.
void take_offline_frames(OfflineRender* render, uint32_t frames, std::vector<int16_t>* out);

// Writes interleaved 16-bit stereo frames as a PCM WAV file. False with a
// one-line reason in *error.
bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error);

#endif
