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
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    put_le(&header, 36 + data_bytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_le(&header, 16, 4);
    put_le(&header, 1, 2);  // PCM
    put_le(&header, 2, 2);  // stereo
    put_le(&header, static_cast<uint32_t>(rate), 4);
    put_le(&header, static_cast<uint32_t>(rate) * 4, 4);
    put_le(&header, 4, 2);
    put_le(&header, 16, 2);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    put_le(&header, data_bytes, 4);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    // The samples little-endian whatever the machine, a chunk at a time.
    uint8_t chunk[65536];
    for (size_t done = 0; ok && done < frames.size();) {
        const size_t count = std::min(frames.size() - done, sizeof chunk / 2);
        for (size_t i = 0; i < count; i++) {
            const uint16_t value = static_cast<uint16_t>(frames[done + i]);
            chunk[2 * i] = static_cast<uint8_t>(value);
            chunk[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
        ok = std::fwrite(chunk, 2, count, file) == count;
        done += count;
    }
    ok &= std::fclose(file) == 0;
    if (!ok) *error = path + ": write failed";
    return ok;
}
