// PNG output for captured frames.
#ifndef BRINDLEC_PNG_FILE_H
#define BRINDLEC_PNG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

// Writes 8-bit RGB rows (top row first). False with a message in *error.
bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               std::string* error);

#endif
