#include "tests/unit/scenes/scene_harness.h"

#include <cstdio>

namespace scene_test {

uint32_t frame_at_or_after(uint32_t ms)
{
    if (ms <= FIRST_FRAME_MS) return FIRST_FRAME_MS;
    return FIRST_FRAME_MS + (ms - FIRST_FRAME_MS + FRAME_MS - 1) / FRAME_MS * FRAME_MS;
}

uint32_t frame_after(uint32_t ms) { return frame_at_or_after(ms + 1); }

void enter_scene(uint16_t scene)
{
    for (float& depth : column_depth) depth = -30.0f;
    glEnable(GL_LIGHTING);
    if (scene >= 4) {
        glLineWidth(3.0f);
        build_font_small();
    }
    music_started = true;  // the title sequence's music start is not under test here
    scene_index = scene;
}

// ---------------------------------------------------------------------------
// Frames

Rgb Image::at(int x, int y) const
{
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
}

Image capture_frame(void)
{
    Image image;
    image.width = headless_window_width();
    image.height = headless_window_height();
    image.rgb = headless_read_pixels();
    return image;
}

bool save_ppm(const Image& image, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height);
    bool ok = std::fwrite(image.rgb.data(), 1, image.rgb.size(), file) == image.rgb.size();
    return std::fclose(file) == 0 && ok;
}

bool lit_as(const Rgb& pixel, const float material[4], float low, float high, int tolerance)
{
    const int channel[3] = {pixel.r, pixel.g, pixel.b};
    for (int c = 0; c < 3; c++) {
        float lowest = material[c] * low * 255.0f;
        float highest = material[c] * high * 255.0f;
        if (highest > 255.0f) highest = 255.0f;
        if (lowest > 255.0f) lowest = 255.0f;
        if (channel[c] < lowest - tolerance || channel[c] > highest + tolerance) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Meshes

namespace {

constexpr float PROBE_RANGE = 8.0f;
constexpr int VALUES_PER_VERTEX = 12;  // GL_4D_COLOR_TEXTURE: xyzw, rgba, strq

MeshVertex decode_vertex(const GLfloat* values)
{
    MeshVertex vertex;
    for (int i = 0; i < 3; i++) vertex.window[i] = values[i];
    // Window x and y are the object's plus the range; window depth 0..1
    // runs from z = +range (near) to z = -range (far).
    vertex.position[0] = values[0] - PROBE_RANGE;
    vertex.position[1] = values[1] - PROBE_RANGE;
    vertex.position[2] = PROBE_RANGE - values[2] * 2.0f * PROBE_RANGE;
    for (int i = 0; i < 4; i++) vertex.colour[i] = values[4 + i];
    for (int i = 0; i < 3; i++) vertex.normal[i] = values[8 + i];
    return vertex;
}

}  // namespace

void begin_mesh_probe(void)
{
    const int size = static_cast<int>(2 * PROBE_RANGE);
    glViewport(0, 0, size, size);
    glDepthRange(0.0, 1.0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-PROBE_RANGE, PROBE_RANGE, -PROBE_RANGE, PROBE_RANGE, -PROBE_RANGE, PROBE_RANGE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // Normals come back as texture coordinates: the normal map generates
    // the eye-space normal, left unnormalised while GL_NORMALIZE is off.
    // (Texture coordinates are only generated for an enabled, complete
    // texture.)
    const GLubyte white[4] = {255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glEnable(GL_TEXTURE_2D);
    for (GLenum coordinate : {GL_S, GL_T, GL_R}) glTexGeni(coordinate, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
    glDisable(GL_NORMALIZE);
    glDisable(GL_CULL_FACE);
    light_ambient_only();
}

void light_ambient_only(void)
{
    const GLfloat white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1};
    glEnable(GL_LIGHTING);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_AMBIENT, white);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, none);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glDisable(GL_NORMALIZE);
}

void light_diffuse_only(void)
{
    const GLfloat white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1};
    const GLfloat from_viewer[4] = {0, 0, 1, 0};
    glEnable(GL_LIGHTING);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, from_viewer);
    glPopMatrix();
    glEnable(GL_NORMALIZE);
}

std::vector<FeedbackPrimitive> feedback_primitives(void (*draw)(void))
{
    std::vector<GLfloat> buffer(1 << 18);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_4D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint values = glRenderMode(GL_RENDER);
    std::vector<FeedbackPrimitive> primitives;
    for (GLint i = 0; i < values;) {
        FeedbackPrimitive primitive;
        primitive.token = static_cast<GLint>(buffer[i++]);
        GLint count = 0;
        if (primitive.token == GL_POLYGON_TOKEN) count = static_cast<GLint>(buffer[i++]);
        else if (primitive.token == GL_LINE_TOKEN || primitive.token == GL_LINE_RESET_TOKEN) count = 2;
        else if (primitive.token == GL_POINT_TOKEN || primitive.token == GL_BITMAP_TOKEN ||
                 primitive.token == GL_DRAW_PIXEL_TOKEN || primitive.token == GL_COPY_PIXEL_TOKEN)
            count = 1;
        else if (primitive.token == GL_PASS_THROUGH_TOKEN) i++;
        else break;
        for (GLint v = 0; v < count; v++, i += VALUES_PER_VERTEX)
            primitive.vertices.push_back(decode_vertex(&buffer[i]));
        primitives.push_back(primitive);
    }
    return primitives;
}

std::vector<MeshVertex> feedback_triangles(void (*draw)(void))
{
    std::vector<MeshVertex> triangles;
    for (const FeedbackPrimitive& primitive : feedback_primitives(draw)) {
        if (primitive.token != GL_POLYGON_TOKEN || primitive.vertices.size() != 3) return {};
        triangles.insert(triangles.end(), primitive.vertices.begin(), primitive.vertices.end());
    }
    return triangles;
}

static bool same_vertex(const MeshVertex& a, const MeshVertex& b)
{
    for (int i = 0; i < 3; i++)
        if (a.position[i] != b.position[i] || a.normal[i] != b.normal[i]) return false;
    return true;
}

bool triangles_to_quads(const std::vector<MeshVertex>& triangles, std::vector<MeshVertex>* quads)
{
    if (triangles.size() % 6 != 0) return false;
    quads->clear();
    for (size_t i = 0; i < triangles.size(); i += 6) {
        const MeshVertex* first = &triangles[i];
        const MeshVertex* second = &triangles[i + 3];
        if (!same_vertex(first[1], second[0]) || !same_vertex(first[2], second[2])) return false;
        quads->push_back(first[0]);
        quads->push_back(first[1]);
        quads->push_back(second[1]);
        quads->push_back(second[2]);
    }
    return true;
}

}  // namespace scene_test
