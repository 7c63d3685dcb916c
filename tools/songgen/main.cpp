// brindlec-songgen OUT.xm: writes the intro's module. With --report it
// also prints the size and when each order starts.
#include <cstdio>
#include <cstring>

#include "tools/songgen/song_module.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: brindlec-songgen OUT.xm [--report]\n");
        return 2;
    }
    songgen::ModuleData module = songgen::compose_song();
    std::vector<uint8_t> bytes = songgen::write_xm(module);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "brindlec-songgen: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[2], "--report") == 0) {
        double total = 0.0;
        for (const songgen::OrderSpan& s : songgen::first_pass(module, &total))
            std::printf("order %2d  pattern %2d  %7.2f s  %3d rows\n", s.order, s.pattern,
                        s.start_seconds, s.rows_played);
        std::printf("first pass %.2f s, %zu bytes\n", total, bytes.size());
    }
    return 0;
}
