// Little-endian bytes in a growing buffer: the one writer behind the XM
// modules the tools and tests build and the WAV files the tools write.
#ifndef BRINDLEC_TOOLS_BYTE_WRITER_H
#define BRINDLEC_TOOLS_BYTE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

struct ByteWriter {
    std::vector<uint8_t> bytes;

    void u8(unsigned value) { bytes.push_back(static_cast<uint8_t>(value)); }
    void u16(unsigned value)
    {
        u8(value & 0xFF);
        u8((value >> 8) & 0xFF);
    }
    void u32(uint32_t value)
    {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    // A fixed-width field: the text cut or padded with zeros to `width`.
    void text(const char* text, size_t width)
    {
        size_t length = std::strlen(text);
        for (size_t i = 0; i < width; ++i) u8(i < length ? static_cast<uint8_t>(text[i]) : 0);
    }
    void raw(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    void zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void pad_to(size_t size)
    {
        if (bytes.size() < size) zeros(size - bytes.size());
    }
};

#endif
