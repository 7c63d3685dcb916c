// A generated module for measuring the player (brindlec-music --make-test-module).
#ifndef BRINDLEC_TOOLS_MUSIC_TEST_MODULE_H
#define BRINDLEC_TOOLS_MUSIC_TEST_MODULE_H

#include <cstdint>
#include <vector>

// An XM module of `channels` (1..32) tracks that keeps every track busy:
// four patterns of `rows` (1..256) rows, three ticks a row at 150 BPM.
std::vector<uint8_t> build_test_module(int channels, int rows = 64);

#endif
