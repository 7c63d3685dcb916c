// Writing what the tools make: whole files, and music as PCM WAV files.
#ifndef BRINDLEC_TOOLS_FILE_OUTPUT_H
#define BRINDLEC_TOOLS_FILE_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` as the file at `path`. False with a one-line reason in
// *error.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// Writes interleaved 16-bit stereo frames as a PCM WAV file. False with a
// one-line reason in *error.
bool write_wav(const std::string& path, int rate, const std::vector<int16_t>& frames, std::string* error);

#endif
