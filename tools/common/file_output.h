// Writing what the tools make: whole files, and music as PCM WAV files.
#ifndef BRINDLEC_TOOLS_FILE_OUTPUT_H
#define BRINDLEC_TOOLS_FILE_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes `bytes` as the file at `path`. False with a one-line reason in
// *error.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// The most stereo 16-bit frames a WAV file can hold: its sizes are 32-bit.
const uint64_t MAX_WAV_FRAMES = (0xFFFFFFFFull - 36) / 4;

// A PCM WAV file written as its music is rendered: the header declares
// every frame up front, so only the frames in hand are ever in memory.
struct WavWriter {
    std::FILE* file = nullptr;
    std::string path;
    uint64_t frames_left = 0;
    uint64_t frames_written = 0;
    std::vector<uint8_t> bytes;  // the chunk being written, little-endian
};

// Creates the file and writes a header for `frames` interleaved 16-bit
// stereo frames (at most MAX_WAV_FRAMES).
bool open_wav(WavWriter* wav, const std::string& path, int rate, uint64_t frames, std::string* error);
// Appends `count` frames; more than the header declared is refused.
bool write_wav_frames(WavWriter* wav, const int16_t* frames, uint32_t count, std::string* error);
// Declares only the frames written so far, when the music ended before
// the length the header was opened with: the header's sizes are rewritten
// where the file can be repositioned; where it cannot (a pipe), silence
// fills the frames still declared.
bool end_wav_early(WavWriter* wav, std::string* error);
// Closes the file; false if fewer frames came than the header declared.
bool close_wav(WavWriter* wav, std::string* error);

// Writes interleaved 16-bit stereo frames as a PCM WAV file. False with a
// one-line reason in *error.
bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error);

#endif
