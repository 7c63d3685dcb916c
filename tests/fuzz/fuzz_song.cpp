// libFuzzer entry: every input is a module file as the intro's loader
// would meet it; whatever loads is played for a few hundred ticks.
//   build-fuzz/fuzz_song -max_total_time=60 CORPUS_DIR tests/fuzz/corpus
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/play_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_play::play_module(data, size);
    return 0;
}
