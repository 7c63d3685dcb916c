// frame_diff [--tolerance N] [--at-least FRACTION] A.png B.png [C.png D.png ...]:
// compares pictures pair by pixel: a pixel matches when each of its red,
// green and blue values differs by at most N (8 by default) out of 255.
// Prints one line per pair, "A B matching_fraction", and exits 1 when a
// pair matches less than FRACTION (0.99 by default) or the pictures
// cannot be read or differ in size; 2 on bad arguments.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

bool read_picture(const char* path, Picture* picture)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    bool read = png_image_begin_read_from_file(&image, path);
    if (read) {
        image.format = PNG_FORMAT_RGB;
        picture->width = int(image.width), picture->height = int(image.height);
        picture->rgb.resize(PNG_IMAGE_SIZE(image));
        read = png_image_finish_read(&image, nullptr, picture->rgb.data(), 0, nullptr);
    }
    if (!read) std::fprintf(stderr, "frame_diff: %s: %s\n", path, image.message);
    return read;
}

double matching_fraction(const Picture& a, const Picture& b, int tolerance)
{
    size_t pixels = a.rgb.size() / 3, matching = 0;
    const auto near = [&](size_t i) { return std::abs(a.rgb[i] - b.rgb[i]) <= tolerance; };
    for (size_t i = 0; i < pixels * 3; i += 3) matching += near(i) && near(i + 1) && near(i + 2);
    return pixels ? double(matching) / double(pixels) : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    int tolerance = 8;
    double at_least = 0.99;
    std::vector<const char*> paths;
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        if (argument == "--tolerance" && i + 1 < argc) tolerance = std::atoi(argv[++i]);
        else if (argument == "--at-least" && i + 1 < argc) at_least = std::atof(argv[++i]);
        else paths.push_back(argv[i]);
    }
    if (paths.empty() || paths.size() % 2 != 0) {
        std::fprintf(stderr, "usage: frame_diff [--tolerance N] [--at-least FRACTION] A.png B.png ...\n");
        return 2;
    }
    int status = 0;
    for (size_t i = 0; i < paths.size(); i += 2) {
        Picture a, b;
        if (!read_picture(paths[i], &a) || !read_picture(paths[i + 1], &b)) {
            status = 1;
        } else if (a.width != b.width || a.height != b.height) {
            std::fprintf(stderr, "frame_diff: %s is %dx%d, %s is %dx%d\n", paths[i], a.width, a.height,
                         paths[i + 1], b.width, b.height);
            status = 1;
        } else {
            const double fraction = matching_fraction(a, b, tolerance);
            std::printf("%s %s %.5f\n", paths[i], paths[i + 1], fraction);
            status |= fraction < at_least;
        }
    }
    return status;
}
