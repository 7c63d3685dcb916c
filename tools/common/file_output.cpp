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

bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error)
{
    const uint32_t data_bytes = static_cast<uint32_t>(frames.size() * 2);
    ByteWriter out;
    out.bytes.reserve(44 + data_bytes);
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
    for (int16_t value : frames) out.u16(static_cast<uint16_t>(value));
    return write_file(path, out.bytes, error);
}
