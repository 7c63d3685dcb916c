#include "tools/common/file_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/common/byte_writer.h"

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
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

bool open_wav(WavWriter* wav, const std::string& path, int rate, uint64_t frames, std::string* error)
{
    if (frames > MAX_WAV_FRAMES) {
        *error = path + ": more frames than a WAV file holds";
        return false;
    }
    wav->path = path;
    wav->frames_left = frames;
    wav->file = std::fopen(path.c_str(), "wb");
    if (!wav->file) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    const uint32_t data_bytes = static_cast<uint32_t>(frames * 4);
    ByteWriter out;
    out.text("RIFF", 4);
    out.u32(36 + data_bytes);
    out.text("WAVEfmt ", 8);
    out.u32(16);
    out.u16(1);  // PCM
    out.u16(2);  // stereo
    out.u32(static_cast<uint32_t>(rate));
    out.u32(static_cast<uint32_t>(rate) * 4);
    out.u16(4);  // bytes per frame
    out.u16(16);
    out.text("data", 4);
    out.u32(data_bytes);
    if (std::fwrite(out.bytes.data(), 1, out.bytes.size(), wav->file) != out.bytes.size()) {
        close_wav(wav, error);
        *error = path + ": write failed";
        return false;
    }
    return true;
}

bool write_wav_frames(WavWriter* wav, const int16_t* frames, uint32_t count, std::string* error)
{
    if (!wav->file || count > wav->frames_left) {
        *error = wav->path + ": more frames than its header declares";
        return false;
    }
    wav->bytes.resize(4 * static_cast<size_t>(count));
    uint8_t* to = wav->bytes.data();
    for (uint32_t i = 0; i < 2 * count; ++i) {
        const uint16_t value = static_cast<uint16_t>(frames[i]);
        *to++ = static_cast<uint8_t>(value & 0xFF);
        *to++ = static_cast<uint8_t>(value >> 8);
    }
    wav->frames_left -= count;
    wav->frames_written += count;
    if (std::fwrite(wav->bytes.data(), 1, wav->bytes.size(), wav->file) != wav->bytes.size()) {
        *error = wav->path + ": write failed";
        return false;
    }
    return true;
}

bool end_wav_early(WavWriter* wav, std::string* error)
{
    if (!wav->file) return false;
    if (wav->frames_left == 0) return true;
    const uint32_t data_bytes = static_cast<uint32_t>(wav->frames_written * 4);
    if (std::fflush(wav->file) == 0 && std::fseek(wav->file, 4, SEEK_SET) == 0) {
        ByteWriter riff, data;
        riff.u32(36 + data_bytes);
        data.u32(data_bytes);
        bool ok = std::fwrite(riff.bytes.data(), 1, 4, wav->file) == 4 &&
                  std::fseek(wav->file, 40, SEEK_SET) == 0 &&
                  std::fwrite(data.bytes.data(), 1, 4, wav->file) == 4 &&
                  std::fseek(wav->file, 0, SEEK_END) == 0;
        if (!ok) *error = wav->path + ": write failed";
        wav->frames_left = 0;
        return ok;
    }
    const std::vector<int16_t> silence(2 * 4096, 0);
    while (wav->frames_left > 0) {
        const uint32_t n = static_cast<uint32_t>(wav->frames_left < 4096 ? wav->frames_left : 4096);
        if (!write_wav_frames(wav, silence.data(), n, error)) return false;
    }
    return true;
}

bool close_wav(WavWriter* wav, std::string* error)
{
    if (!wav->file) return false;
    bool ok = std::fclose(wav->file) == 0;
    wav->file = nullptr;
    if (!ok)
        *error = wav->path + ": write failed";
    else if (wav->frames_left != 0)
        *error = wav->path + ": fewer frames than its header declares";
    return ok && wav->frames_left == 0;
}

bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error)
{
    const uint64_t count = frames.size() / 2;
    WavWriter wav;
    if (!open_wav(&wav, path, rate, count, error)) return false;
    // A chunk at a time keeps the byte copy small.
    const uint32_t chunk = 1u << 16;
    for (uint64_t at = 0; at < count; at += chunk) {
        const uint32_t n = static_cast<uint32_t>(count - at < chunk ? count - at : chunk);
        if (!write_wav_frames(&wav, frames.data() + 2 * at, n, error)) {
            std::string ignored;
            close_wav(&wav, &ignored);
            return false;
        }
    }
    return close_wav(&wav, error);
}
