// brindlec-songgen OUT.xm: writes the intro's module. With --report it
// also prints the size and when each order starts.
#include <cstdio>
#include <cstring>

#include "tools/common/file_output.h"
#include "tools/songgen/song_module.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: brindlec-songgen OUT.xm [--report]\n");
        return 2;
    }
    songgen::ModuleData module = songgen::compose_song();
    std::vector<uint8_t> bytes = songgen::write_xm(module);
    std::string error;
    if (!write_file(argv[1], bytes, &error)) {
        std::fprintf(stderr, "brindlec-songgen: cannot write %s\n", error.c_str());
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[2], "--report") == 0) {
        double total = 0.0;
        for (const songgen::OrderSpan& s : songgen::first_pass(module, &total))
            std::printf("order %2d  pattern %2d  %7.2f s  %3d rows\n", s.order, s.pattern, s.start_seconds,
                        s.rows_played);
        std::printf("first pass %.2f s, %zu bytes\n", total, bytes.size());
    }
    return 0;
}
