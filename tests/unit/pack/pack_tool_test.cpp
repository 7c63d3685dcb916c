// brindlec-pack on small PE32 images built here: a good one is packed into
// a payload whose stream the start-up code's decoder turns back into the
// image, and whose header and layout say where it goes; a malformed or
// unpackable one is refused with the reason, and nothing is written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tools/pack/unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes& f, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; i++) f[at + i] = uint8_t(value >> (8 * i));
}

enum : size_t { PE = 0x40, OPTIONAL = PE + 24, SECTIONS = OPTIONAL + 224, IDATA = 0x400 };

// What MinGW's linker makes of a program that only calls ExitProcess: code
// at 0x1000, then imports at 0x2000 (kernel32.dll, by name), loaded at
// 0x400000 without relocations.
Bytes tiny_image()
{
    Bytes f(0x600, 0);
    f[0] = 'M', f[1] = 'Z';
    put(f, 0x3C, PE, 4);
    std::memcpy(&f[PE], "PE\0\0", 4);
    put(f, PE + 4, 0x14C, 2), put(f, PE + 6, 2, 2), put(f, PE + 20, 224, 2), put(f, PE + 22, 0x10F, 2);
    put(f, OPTIONAL, 0x10B, 2), put(f, OPTIONAL + 16, 0x1000, 4), put(f, OPTIONAL + 28, 0x400000, 4);
    put(f, OPTIONAL + 32, 0x1000, 4), put(f, OPTIONAL + 36, 0x200, 4), put(f, OPTIONAL + 56, 0x3000, 4);
    put(f, OPTIONAL + 60, 0x200, 4), put(f, OPTIONAL + 68, 2, 2), put(f, OPTIONAL + 92, 16, 4);
    put(f, OPTIONAL + 104, 0x2000, 4), put(f, OPTIONAL + 108, 40, 4);  // the import directory
    const char* names[] = {".text", ".idata"};
    const uint32_t flags[] = {0x60000020, 0xC0000040};
    for (size_t i = 0; i < 2; i++) {
        std::memcpy(&f[SECTIONS + 40 * i], names[i], std::strlen(names[i]));
        put(f, SECTIONS + 40 * i + 8, 0x100, 4), put(f, SECTIONS + 40 * i + 12, 0x1000 * uint32_t(i + 1), 4);
        put(f, SECTIONS + 40 * i + 16, 0x200, 4), put(f, SECTIONS + 40 * i + 20, 0x200 * uint32_t(i + 1), 4);
        put(f, SECTIONS + 40 * i + 36, flags[i], 4);
    }
    const uint8_t code[] = {0x6A, 0x00, 0xFF, 0x15, 0x30, 0x20, 0x40, 0x00, 0xC3};  // ExitProcess(0)
    std::memcpy(&f[0x200], code, sizeof code);
    put(f, IDATA, 0x2028, 4), put(f, IDATA + 12, 0x2040, 4), put(f, IDATA + 16, 0x2030, 4);
    put(f, IDATA + 0x28, 0x2050, 4), put(f, IDATA + 0x30, 0x2050, 4);  // name list, address list
    std::memcpy(&f[IDATA + 0x40], "kernel32.dll", 12);
    std::memcpy(&f[IDATA + 0x52], "ExitProcess", 11);
    return f;
}

// brindlec-pack MODE on the image, in a folder of its own: its status,
// what it printed, and the payload and layout it wrote.
struct PackRun {
    int status;
    std::string output, payload, layout;
};

PackRun pack(const std::string& mode, const Bytes& image)
{
    char name[] = "/tmp/brindlec-pack-test-XXXXXX";
    if (!mkdtemp(name)) return {-1, "no folder", "", ""};
    const std::string dir = name;
    std::ofstream(dir + "/in.exe", std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                            std::streamsize(image.size()));
    const std::string files = mode == "payload" ? " payload.c layout.ld" : " in.exe packed.exe";
    const std::string command = "cd '" + dir + "' && " BRINDLEC_PACK " " + mode + " in.exe" + files;
    int status = std::system((command + " >out 2>&1").c_str());
    auto text = [&](const char* file) {
        std::ifstream in(dir + "/" + file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    PackRun run = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text("out"), text("payload.c"),
                   text("layout.ld")};
    std::system(("rm -rf '" + dir + "'").c_str());
    return run;
}

TEST(PackTool, PacksAnImageIntoAPayloadThatDecodesBackToIt) {
    const Bytes image = tiny_image();
    PackRun run = pack("payload", image);
    ASSERT_EQ(run.status, 0) << run.output;
    // The list of imports: kernel32.dll, its address list at 0x2030,
    // ExitProcess; the reserved range holds the image and the list.
    const std::string imports("kernel32.dll\0\x30\x20\0\0ExitProcess\0\0\0", 31);
    EXPECT_NE(run.layout.find("PACKED_IMAGE_RVA = 0x1000;\nPACKED_IMAGE_SPAN = 0x201F;"), std::string::npos);
    // The C file's three definitions, as numbers: the header, the code
    // section to protect (the imports' section stays read-write), the stream.
    std::vector<std::vector<uint32_t>> parts;
    for (size_t at = run.payload.find("= {"); at != std::string::npos; at = run.payload.find("= {", at + 1)) {
        const std::string body = run.payload.substr(at, run.payload.find("};", at) - at);
        parts.emplace_back();
        for (const char* c = body.c_str(); *c; ++c)
            if (std::isdigit(static_cast<unsigned char>(*c))) {
                char* end;
                parts.back().push_back(uint32_t(std::strtoul(c, &end, 10)));
                c = end - 1;
            }
    }
    ASSERT_EQ(parts.size(), 3u) << run.payload.substr(0, 400);
    const std::vector<uint32_t>& header = parts[0];
    ASSERT_EQ(header.size(), 10u);
    EXPECT_EQ(std::vector<uint32_t>({header[0], header[1], header[2], header[3], header[9]}),
              std::vector<uint32_t>({0x1000, 0x2000, uint32_t(imports.size()), 0x1000, 1}));
    EXPECT_EQ(parts[1], std::vector<uint32_t>({0x1000, 0x1000, 0x20}));  // PAGE_EXECUTE_READ
    const Bytes stream(parts[2].begin(), parts[2].end());
    ASSERT_EQ(stream.size(), header[4]);
    // The image with its import tables cleared, then the list.
    Bytes decoded(header[1] + header[2]), expected(0x2000, 0);
    std::vector<uint16_t> model(UNPACK_PROBABILITIES(header[5] + header[6]));
    ASSERT_TRUE(unpack_lzma(stream.data(), stream.size(), decoded.data(), decoded.size(), header[5], header[6],
                            header[7], model.data()));
    if (header[8]) unpack_x86_branches(decoded.data(), decoded.size(), 0);
    std::memcpy(&expected[0], &image[0x200], 0x100);
    expected.insert(expected.end(), imports.begin(), imports.end());
    EXPECT_EQ(decoded, expected);
}

TEST(PackTool, RefusesWhatItCannotReadOrTheStartUpCodeCannotRun) {
    const std::vector<std::pair<std::function<void(Bytes&)>, std::string>> cases = {
        {[](Bytes& f) { f[1] = 'X'; }, "no MZ header"},
        {[](Bytes& f) { put(f, 0x3C, 0x5F0, 4); }, "beyond the end of the file"},
        {[](Bytes& f) { put(f, PE + 4, 0x8664, 2); }, "not an x86 (32-bit) image"},
        {[](Bytes& f) { f.resize(SECTIONS + 60); }, "section table does not fit"},
        {[](Bytes& f) { put(f, SECTIONS + 40 + 20, 0x500, 4); }, "section .idata runs past the end of the file"},
        {[](Bytes& f) { put(f, SECTIONS + 40 + 12, 0x1080, 4); }, "overlaps the one before it"},
        {[](Bytes& f) { put(f, OPTIONAL + 96 + 9 * 8, 0x2080, 4); }, "data directory 9 is in use"},
        {[](Bytes& f) { put(f, PE + 22, 0x10E, 2), put(f, OPTIONAL + 140, 8, 4); }, "has relocations"},
        {[](Bytes& f) { put(f, OPTIONAL + 16, 0x3000, 4); }, "entry point lies outside"},
        {[](Bytes& f) { put(f, IDATA + 0x28, 0x80000001, 4); }, "imported by ordinal"},
        {[](Bytes& f) { put(f, IDATA, 0, 4); }, "without a name list"},
        {[](Bytes& f) { put(f, IDATA + 12, 0x3000, 4); }, "DLL has no name within the image"},
        {[](Bytes& f) { put(f, IDATA + 0x28, 0x2FFE, 4); }, "function has no name within the image"},
        {[](Bytes& f) { put(f, IDATA + 0x28, 0x0FFE, 4); }, "function has no name within the image"},
        {[](Bytes& f) { put(f, OPTIONAL + 104, 0x2FF0, 4); }, "import directory runs past the image"},
    };
    for (const auto& [damage, reason] : cases) {
        Bytes image = tiny_image();
        damage(image);
        PackRun run = pack("payload", image);
        EXPECT_TRUE(run.status == 1 && run.output.find(reason) != std::string::npos && run.payload.empty() &&
                    run.layout.empty()) << reason << ": " << run.output;
    }
    // A start-up executable that does not reserve the image's range.
    PackRun run = pack("finish", tiny_image());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("its first section does not reserve"), std::string::npos) << run.output;
    EXPECT_NE(pack("--help", tiny_image()).status, 0);
}

}  // namespace
