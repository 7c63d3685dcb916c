// brindlec-pack: packs the 32-bit Windows intro into an executable that
// unpacks itself in memory.
//
//   brindlec-pack payload UNPACKED.exe PAYLOAD.c LAYOUT.ld
//     compresses the linked intro (a PE32 image without relocations),
//     followed by the names of its imports in place of its import tables,
//     with liblzma's raw LZMA, with and without the x86 branch filter and
//     over a range of literal and position bits and match searches, and
//     keeps the smallest stream that the start-up code's own decoder
//     (unpack.c) turns back into the image. Writes the payload (packed.h)
//     as C definitions for the start-up code, and the linker script lines
//     that reserve the image's address range in the start-up executable.
//   brindlec-pack finish UNPACKED.exe STUB.exe PACKED.exe
//     checks the linked start-up executable against the image it carries
//     (same base, its address range reserved as uninitialised data at the
//     same addresses, no relocations) and writes it with its code section
//     marked execute-and-read only: the linker makes the section writable
//     because it holds the import address table, which the system loader
//     unprotects while it binds it.
#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/pack/packed.h"
#include "tools/pack/unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- PE32 images --------------------------------------------------------------

enum : uint32_t {
    SCN_UNINITIALIZED_DATA = 0x00000080,
    SCN_EXECUTE = 0x20000000,
    SCN_READ = 0x40000000,
    SCN_WRITE = 0x80000000,
    PAGE = 0x1000,
    FILE_RELOCS_STRIPPED = 0x0001,
    DIRECTORY_IMPORT = 1,
    DIRECTORY_BASE_RELOCATION = 5,
    DIRECTORY_DEBUG = 6,
    DIRECTORY_IAT = 12,
    DIRECTORIES = 16,
};

struct Section {
    std::string name;
    uint32_t virtual_size, rva, raw_size, raw_offset, characteristics;
    size_t header_offset;  // of its entry in the section table
};

struct Image {
    Bytes file;
    uint16_t characteristics;
    uint32_t entry_rva, image_base, section_alignment, size_of_image;
    uint32_t directory_rva[DIRECTORIES], directory_size[DIRECTORIES];
    std::vector<Section> sections;
};

uint32_t read_le(const Bytes& bytes, size_t offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; i--) value = value << 8 | bytes[offset + i];
    return value;
}

void write_le(Bytes& bytes, size_t offset, uint32_t value, int size)
{
    for (int i = 0; i < size; i++) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads and checks a PE32 image; every offset and count is checked against
// the file before it is used. Empty on success, otherwise why not.
std::string parse_image(Bytes file, Image* image)
{
    image->file = std::move(file);
    const Bytes& f = image->file;
    if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') return "not an executable (no MZ header)";
    uint32_t pe = read_le(f, 0x3C, 4);
    if (pe > f.size() || f.size() - pe < 24 + 96) return "the PE header lies beyond the end of the file";
    if (std::memcmp(&f[pe], "PE\0\0", 4) != 0) return "no PE signature";
    if (read_le(f, pe + 4, 2) != 0x14C) return "not an x86 (32-bit) image";
    uint32_t section_count = read_le(f, pe + 6, 2);
    uint32_t optional_size = read_le(f, pe + 20, 2);
    image->characteristics = static_cast<uint16_t>(read_le(f, pe + 22, 2));
    size_t optional = pe + 24;
    if (optional_size < 96 || read_le(f, optional, 2) != 0x10B) return "not a PE32 optional header";
    if (optional + optional_size > f.size()) return "the optional header runs past the end of the file";
    image->entry_rva = read_le(f, optional + 16, 4);
    image->image_base = read_le(f, optional + 28, 4);
    image->section_alignment = read_le(f, optional + 32, 4);
    image->size_of_image = read_le(f, optional + 56, 4);
    uint32_t directory_count = read_le(f, optional + 92, 4);
    if (directory_count > DIRECTORIES || 96 + 8 * directory_count > optional_size)
        return "the data directories do not fit the optional header";
    for (uint32_t i = 0; i < DIRECTORIES; i++) {
        image->directory_rva[i] = i < directory_count ? read_le(f, optional + 96 + 8 * i, 4) : 0;
        image->directory_size[i] = i < directory_count ? read_le(f, optional + 100 + 8 * i, 4) : 0;
    }
    size_t table = optional + optional_size;
    if (section_count == 0 || section_count > 96 || table + 40 * section_count > f.size())
        return "the section table does not fit the file";
    image->sections.clear();
    for (uint32_t i = 0; i < section_count; i++) {
        size_t entry = table + 40 * i;
        Section s;
        const char* name = reinterpret_cast<const char*>(&f[entry]);
        s.name.assign(name, strnlen(name, 8));
        s.virtual_size = read_le(f, entry + 8, 4);
        s.rva = read_le(f, entry + 12, 4);
        s.raw_size = read_le(f, entry + 16, 4);
        s.raw_offset = read_le(f, entry + 20, 4);
        s.characteristics = read_le(f, entry + 36, 4);
        s.header_offset = entry;
        if (s.raw_size && (s.raw_offset > f.size() || s.raw_size > f.size() - s.raw_offset))
            return "section " + s.name + " runs past the end of the file";
        if (uint64_t(s.rva) + std::max(s.virtual_size, s.raw_size) > image->size_of_image)
            return "section " + s.name + " lies beyond the size of the image";
        if (!image->sections.empty() &&
            s.rva < image->sections.back().rva + image->sections.back().virtual_size)
            return "section " + s.name + " overlaps the one before it";
        image->sections.push_back(s);
    }
    return "";
}

std::string read_image(const std::string& path, Image* image)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": cannot be read";
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string why = parse_image(std::move(file), image);
    return why.empty() ? "" : path + ": " + why;
}

bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) return true;
    std::fprintf(stderr, "brindlec-pack: %s: cannot be written\n", path.c_str());
    std::remove(path.c_str());
    return false;
}

// --- The payload ------------------------------------------------------------------

// Only what the start-up code reproduces may be in the image: its sections,
// its entry point and its imports. Relocations and debug records are left
// behind (the packed image is always loaded at its own base).
std::string check_packable(const Image& image)
{
    if (image.section_alignment < PAGE || image.section_alignment % PAGE)
        return "sections are not aligned to pages, so they cannot be protected one by one";
    for (uint32_t i = 0; i < DIRECTORIES; i++) {
        if (i == DIRECTORY_IMPORT || i == DIRECTORY_IAT || i == DIRECTORY_BASE_RELOCATION ||
            i == DIRECTORY_DEBUG)
            continue;
        if (image.directory_rva[i] || image.directory_size[i])
            return "data directory " + std::to_string(i) +
                   " is in use (resources, TLS, exports and the like are not unpacked)";
    }
    if (!(image.characteristics & FILE_RELOCS_STRIPPED) && image.directory_size[DIRECTORY_BASE_RELOCATION])
        return "the image has relocations: link it to load at its own base (--disable-dynamicbase)";
    if (image.entry_rva < image.sections.front().rva || image.entry_rva >= image.size_of_image)
        return "the entry point lies outside the sections";
    return "";
}

// The image as it lies in memory from its first section to its end (what
// no section fills is zeros, as in the reserved range it is decoded into).
Bytes memory_image(const Image& image)
{
    uint32_t first = image.sections.front().rva;
    Bytes memory(image.size_of_image - first, 0);
    for (const Section& s : image.sections) {
        uint32_t size = std::min(s.raw_size, s.virtual_size ? s.virtual_size : s.raw_size);
        if (size) std::memcpy(&memory[s.rva - first], &image.file[s.raw_offset], size);
    }
    return memory;
}

// The image's imports as the start-up code binds them: a list of, for each
// DLL, its name, the image-relative address of its address list (4 bytes)
// and the names of its functions, each name ending in a zero and each
// DLL's functions in an empty name; an empty DLL name ends the list. Only
// the names are left of the import directory, its name lists and hints,
// and the address lists start out empty: what the image held of them is
// cleared. Every DLL needs a name list (OriginalFirstThunk), every function
// a name. Empty on success, otherwise why not.
std::string take_imports(const Image& image, Bytes* memory, Bytes* list)
{
    Bytes& m = *memory;
    uint32_t first = image.sections.front().rva;
    // An image-relative address of `size` bytes within the image.
    auto inside = [&](uint32_t rva, uint32_t size) {
        return rva >= first && rva - first <= m.size() && size <= m.size() - (rva - first);
    };
    // The zero-terminated name at an address, empty unless it lies wholly
    // within the image (checked before any pointer into it is formed).
    auto name_at = [&](uint32_t rva) {
        if (!inside(rva, 1)) return std::string();
        const char* name = reinterpret_cast<const char*>(m.data() + (rva - first));
        return std::memchr(name, 0, m.size() - (rva - first)) ? std::string(name) : std::string();
    };
    std::vector<std::pair<uint32_t, uint32_t>> cleared;  // address and size of what the list replaces
    auto add_name = [&](const std::string& name) { list->insert(list->end(), name.begin(), name.end() + 1); };
    list->clear();
    if (image.directory_size[DIRECTORY_IMPORT]) {
        for (uint32_t entry = image.directory_rva[DIRECTORY_IMPORT];; entry += 20) {
            if (!inside(entry, 20)) return "the import directory runs past the image";
            cleared.push_back({entry, 20});
            uint32_t names = read_le(m, entry - first, 4), dll = read_le(m, entry + 12 - first, 4);
            uint32_t addresses = read_le(m, entry + 16 - first, 4);
            if (dll == 0) break;
            std::string dll_name = name_at(dll);
            if (dll_name.empty()) return "an imported DLL has no name within the image";
            if (names == 0) return "a DLL is imported without a name list (OriginalFirstThunk)";
            add_name(dll_name);
            cleared.push_back({dll, uint32_t(dll_name.size() + 1)});
            list->resize(list->size() + 4);
            write_le(*list, list->size() - 4, addresses, 4);
            for (;; names += 4, addresses += 4) {
                if (!inside(names, 4) || !inside(addresses, 4)) return "an import list runs past the image";
                cleared.push_back({names, 4}), cleared.push_back({addresses, 4});
                uint32_t function = read_le(m, names - first, 4);
                if (function == 0) break;
                if (function & 0x80000000u) return "a function is imported by ordinal";
                // The hint (2 bytes), then the name: both within the image,
                // which a hint just before the first section is not.
                std::string name = name_at(function + 2);
                if (name.empty() || !inside(function, uint32_t(name.size() + 3)))
                    return "an imported function has no name within the image";
                add_name(name);
                cleared.push_back({function, uint32_t(name.size() + 3)});
            }
            list->push_back(0);
        }
        list->push_back(0);
    }
    for (auto [rva, size] : cleared) std::memset(&m[rva - first], 0, size);
    return "";
}

// Page protection from section characteristics.
uint32_t protection_of(uint32_t characteristics)
{
    bool execute = characteristics & SCN_EXECUTE, write = characteristics & SCN_WRITE;
    bool read = characteristics & (SCN_READ | SCN_EXECUTE | SCN_WRITE);
    if (execute) return write ? 0x40 /* PAGE_EXECUTE_READWRITE */ : 0x20 /* PAGE_EXECUTE_READ */;
    if (write) return 0x04;                         // PAGE_READWRITE
    return read ? 0x02 /* PAGE_READONLY */ : 0x01;  // PAGE_NOACCESS
}

// A stream and the settings that made it.
struct Stream {
    Bytes bytes;
    unsigned lc = 0, lp = 0, pb = 0;
    bool x86_branches = false;
    lzma_match_finder match_finder = LZMA_MF_BT4;
    uint32_t nice_length = 273;
};

// One raw LZMA encoding (with the x86 branch filter first if asked), or
// an empty stream if liblzma refuses.
Bytes encode(const Bytes& data, const Stream& settings)
{
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME)) return {};
    options.lc = settings.lc;
    options.lp = settings.lp;
    options.pb = settings.pb;
    options.mf = settings.match_finder;
    options.nice_len = settings.nice_length;
    uint32_t dictionary = LZMA_DICT_SIZE_MIN;
    while (dictionary < data.size()) dictionary *= 2;
    options.dict_size = dictionary;
    lzma_filter filters[3];
    int n = 0;
    if (settings.x86_branches) filters[n++] = {LZMA_FILTER_X86, nullptr};
    filters[n++] = {LZMA_FILTER_LZMA1, &options};
    filters[n] = {LZMA_VLI_UNKNOWN, nullptr};
    Bytes out(data.size() + data.size() / 2 + 4096);
    size_t written = 0;
    lzma_ret result = lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), out.data(), &written,
                                             out.size());
    if (result != LZMA_OK) return {};
    out.resize(written);
    return out;
}

// What the start-up code will make of a stream: our own decoder, natively;
// *seconds is how long it took.
bool decodes_to(const Stream& stream, const Bytes& data, double* seconds)
{
    std::vector<uint16_t> probabilities(UNPACK_PROBABILITIES(stream.lc + stream.lp));
    Bytes decoded(data.size());
    auto start = std::chrono::steady_clock::now();
    if (!unpack_lzma(stream.bytes.data(), stream.bytes.size(), decoded.data(), decoded.size(), stream.lc,
                     stream.lp, stream.pb, probabilities.data()))
        return false;
    if (stream.x86_branches) unpack_x86_branches(decoded.data(), decoded.size(), 0);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return decoded == data;
}

// The smallest stream over the settings that suit code and data of 32-bit
// programs: first the model (literal and position bits, the branch
// filter), then for it how the encoder looks for matches; among equals
// the first found, so a build always picks the same.
bool smallest_stream(const Bytes& data, Stream* best, double* decode_seconds)
{
    best->bytes.clear();
    auto consider = [&](Stream settings) {
        settings.bytes = encode(data, settings);
        if (!settings.bytes.empty() && (best->bytes.empty() || settings.bytes.size() < best->bytes.size()))
            *best = settings;
    };
    for (bool x86_branches : {true, false})
        for (unsigned lc = 0; lc <= 3; lc++)
            for (unsigned lp : {0u, 2u})
                for (unsigned pb : {0u, 2u})
                    if (lc + lp <= UNPACK_MAX_LC_LP) consider({{}, lc, lp, pb, x86_branches});
    const Stream model = *best;
    for (lzma_match_finder finder : {LZMA_MF_BT2, LZMA_MF_BT3, LZMA_MF_BT4})
        for (uint32_t nice_length : {64u, 128u, 192u, 273u})
            consider({{}, model.lc, model.lp, model.pb, model.x86_branches, finder, nice_length});
    if (best->bytes.empty()) {
        std::fprintf(stderr, "brindlec-pack: liblzma refused to compress the image\n");
        return false;
    }
    if (!decodes_to(*best, data, decode_seconds)) {
        std::fprintf(stderr, "brindlec-pack: the stream does not decode back to the image\n");
        return false;
    }
    return true;
}

// The payload as C definitions (packed.h): the header, the sections to
// protect and the stream, for the start-up code, whose build folds what it
// reads of the first two into its code.
std::string payload_source(const PackedHeader& h, const std::vector<PackedSection>& sections,
                           const Bytes& stream, const std::string& source)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "const PackedHeader packed_header = {%u, %u, %u, %u, %u, %u, %u, %u, %u, %u};\n",
                  h.image_rva, h.image_size, h.imports_size, h.entry_rva, h.stream_size, h.lc, h.lp, h.pb,
                  h.x86_branches, h.section_count);
    std::string text = "/* Written by brindlec-pack from " + source.substr(source.find_last_of('/') + 1) +
                       ": the packed intro. */\n#include \"tools/pack/packed.h\"\n\n" + line +
                       "const PackedSection packed_sections[" +
                       std::to_string(std::max<size_t>(sections.size(), 1)) + "] = {";
    for (const PackedSection& section : sections) {
        std::snprintf(line, sizeof line, "{%u, %u, %u}, ", section.rva, section.size, section.protection);
        text += line;
    }
    text += (sections.empty() ? "{0, 0, 0}};\n" : "};\n");
    text += "const uint8_t packed_stream[" + std::to_string(stream.size()) + "] = {";
    for (size_t i = 0; i < stream.size(); i++) {
        std::snprintf(line, sizeof line, "%s%u,", i % 24 ? "" : "\n", stream[i]);
        text += line;
    }
    return text + "\n};\n";
}

int make_payload(const std::string& unpacked, const std::string& payload_path, const std::string& layout_path)
{
    Image image;
    std::string why = read_image(unpacked, &image);
    if (why.empty()) why = check_packable(image);
    if (!why.empty()) {
        std::fprintf(stderr, "brindlec-pack: %s: %s\n", unpacked.c_str(), why.c_str());
        return 1;
    }
    // The image, then the list of its imports.
    Bytes memory = memory_image(image), imports;
    why = take_imports(image, &memory, &imports);
    if (!why.empty()) {
        std::fprintf(stderr, "brindlec-pack: %s: %s\n", unpacked.c_str(), why.c_str());
        return 1;
    }
    const uint32_t image_size = static_cast<uint32_t>(memory.size());
    memory.insert(memory.end(), imports.begin(), imports.end());
    Stream stream;
    double decode_seconds = 0;
    if (!smallest_stream(memory, &stream, &decode_seconds)) return 1;

    std::vector<PackedSection> protected_sections;
    for (const Section& s : image.sections) {
        uint32_t protection = protection_of(s.characteristics);
        uint32_t size = (std::max(s.virtual_size, s.raw_size) + PAGE - 1) / PAGE * PAGE;
        if (protection != 0x04 && size) protected_sections.push_back({s.rva, size, protection});
    }
    if (protected_sections.size() > PACKED_SECTIONS_MAX) {
        std::fprintf(stderr, "brindlec-pack: %s: more than %d sections to protect\n", unpacked.c_str(),
                     PACKED_SECTIONS_MAX);
        return 1;
    }
    PackedHeader header = {};
    header.image_rva = image.sections.front().rva;
    header.image_size = image_size;
    header.imports_size = static_cast<uint32_t>(imports.size());
    header.entry_rva = image.entry_rva;
    header.stream_size = static_cast<uint32_t>(stream.bytes.size());
    header.lc = static_cast<uint8_t>(stream.lc);
    header.lp = static_cast<uint8_t>(stream.lp);
    header.pb = static_cast<uint8_t>(stream.pb);
    header.x86_branches = stream.x86_branches;
    header.section_count = static_cast<uint32_t>(protected_sections.size());
    char layout[256];
    std::snprintf(layout, sizeof layout,
                  "/* Written by brindlec-pack: the intro's address range from its first section, and\n"
                  "   the list of its imports after it. */\n"
                  "PACKED_IMAGE_RVA = 0x%X;\nPACKED_IMAGE_SPAN = 0x%X;\n",
                  header.image_rva, static_cast<unsigned>(memory.size()));
    if (!write_file(payload_path, payload_source(header, protected_sections, stream.bytes, unpacked)) ||
        !write_file(layout_path, layout))
        return 1;
    std::printf(
        "brindlec-pack: %zu bytes of image and imports in %zu bytes (lc %u, lp %u, pb %u, x86 branches %s, "
        "matches by bt%d up to %u bytes), decoded here in %.1f ms\n",
        memory.size(), stream.bytes.size(), stream.lc, stream.lp, stream.pb,
        stream.x86_branches ? "on" : "off", stream.match_finder & 0x0F, stream.nice_length,
        decode_seconds * 1000);
    return 0;
}

// --- The packed executable -----------------------------------------------------

// The start-up executable must load at the intro's base, hold the intro's
// whole range as uninitialised read-write data at the same addresses, need
// no relocations, and have one more section: its code, which is made
// execute-and-read only here.
std::string check_stub(const Image& intro, const Image& stub)
{
    if (stub.image_base != intro.image_base) return "its image base differs from the intro's";
    if (!(stub.characteristics & FILE_RELOCS_STRIPPED) || stub.directory_size[DIRECTORY_BASE_RELOCATION])
        return "it has relocations";
    if (stub.sections.size() != 2)
        return "it has " + std::to_string(stub.sections.size()) + " sections, not 2";
    const Section& reserved = stub.sections[0];
    uint32_t first = intro.sections.front().rva;
    if (reserved.rva != first || reserved.raw_size != 0 ||
        !(reserved.characteristics & SCN_UNINITIALIZED_DATA) ||
        reserved.virtual_size < intro.size_of_image - first)
        return "its first section does not reserve the intro's address range";
    if (reserved.characteristics & SCN_EXECUTE) return "the reserved range is executable";
    if (!(stub.sections[1].characteristics & SCN_EXECUTE)) return "its second section is not its code";
    if (stub.entry_rva < stub.sections[1].rva) return "its entry point is not in its code";
    return "";
}

int finish(const std::string& unpacked, const std::string& stub_path, const std::string& packed)
{
    Image intro, stub;
    std::string why = read_image(unpacked, &intro);
    if (why.empty()) why = read_image(stub_path, &stub);
    if (why.empty()) {
        why = check_stub(intro, stub);
        if (!why.empty()) why = stub_path + ": " + why;
    }
    if (!why.empty()) {
        std::fprintf(stderr, "brindlec-pack: %s\n", why.c_str());
        return 1;
    }
    const Section& code = stub.sections[1];
    write_le(stub.file, code.header_offset + 36, (code.characteristics & ~SCN_WRITE) | SCN_READ, 4);
    if (!write_file(packed, std::string(stub.file.begin(), stub.file.end()))) return 1;
    std::printf("brindlec-pack: %s, %zu bytes\n", packed.c_str(), stub.file.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "payload" && argc == 5) return make_payload(argv[2], argv[3], argv[4]);
    if (mode == "finish" && argc == 5) return finish(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: brindlec-pack payload UNPACKED.exe PAYLOAD.c LAYOUT.ld\n"
                 "       brindlec-pack finish UNPACKED.exe STUB.exe PACKED.exe\n");
    return 2;
}
