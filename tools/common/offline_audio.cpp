#include "tools/common/offline_audio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "music/music.h"

bool start_offline_render(OfflineRender* render, Song* song, int rate)
{
    *render = OfflineRender{};
    if (!open_offline_output(rate) || !prepare_playback(song)) return false;
    render->rate = rate;
    return true;
}

void take_offline_frames(OfflineRender* render, uint32_t frames, std::vector<int16_t>* out)
{
    const int blocks = sound_output.ring_frames / sound_output.block_frames;
    const uint32_t block_frames = static_cast<uint32_t>(sound_output.block_frames);
    while (frames > 0) {
        // Position inside the block being played.
        uint32_t offset = static_cast<uint32_t>(render->frames_taken % block_frames);
        uint32_t count = std::min(frames, block_frames - offset);
        const int16_t* source = sound_output.output_buffer +
                                2 * (static_cast<size_t>(render->next_block) * block_frames + offset);
        out->insert(out->end(), source, source + 2 * count);
        render->frames_taken += count;
        frames -= count;
        if (offset + count == block_frames) {
            // The device has finished this block: the mixing thread refills it.
            sound_output.write_block = render->next_block;
            fill_block();
            render->next_block = (render->next_block + 1) % blocks;
        }
    }
}

namespace {

void put_le(std::vector<uint8_t>* bytes, uint32_t value, int width)
{
    for (int i = 0; i < width; i++) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error)
{
    const uint32_t data_bytes = static_cast<uint32_t>(frames.size() * 2);
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + data_bytes);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put_le(&bytes, 36 + data_bytes, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_le(&bytes, 16, 4);
    put_le(&bytes, 1, 2);  // PCM
    put_le(&bytes, 2, 2);  // stereo
    put_le(&bytes, static_cast<uint32_t>(rate), 4);
    put_le(&bytes, static_cast<uint32_t>(rate) * 4, 4);
    put_le(&bytes, 4, 2);
    put_le(&bytes, 16, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put_le(&bytes, data_bytes, 4);
    for (int16_t value : frames) put_le(&bytes, static_cast<uint16_t>(value), 2);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok &= std::fclose(file) == 0;
    if (!ok) *error = path + ": write failed";
    return ok;
}
