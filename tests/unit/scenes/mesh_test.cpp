// The three display-list meshes and the four scene 2 shapes, read back
// through GL feedback mode: vertex counts, every vertex and normal in
// order (the odd normals included) and the materials they carry.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

struct Vertex {
    float position[3];
    float normal[3];
};

constexpr float TOLERANCE = 1e-4f;

void expect_vertex(const MeshVertex& got, const Vertex& want, const std::string& where)
{
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(got.position[i], want.position[i], TOLERANCE) << where << " position " << i;
        EXPECT_NEAR(got.normal[i], want.normal[i], TOLERANCE) << where << " normal " << i;
    }
}

void expect_colour(const float got[4], const float want[4], const std::string& where)
{
    for (int i = 0; i < 4; i++) EXPECT_NEAR(got[i], want[i], 1e-3f) << where << " channel " << i;
}

void expect_material(GLenum face, GLenum parameter, const float want[4], const std::string& where)
{
    GLfloat got[4];
    glGetMaterialfv(face, parameter, got);
    expect_colour(got, want, where);
}

void call_cube(void) { glCallList(cube_list); }
void call_triangle(void) { glCallList(triangle_list); }
void call_cross(void) { glCallList(cross_list); }

// Opens the window (which builds the meshes) and sets up the probe.
void open_probe(void)
{
    ASSERT_TRUE(open_test_window(64, 64));
    begin_mesh_probe();
}

std::vector<MeshVertex> quads_of(void (*draw)(void))
{
    std::vector<MeshVertex> quads;
    EXPECT_TRUE(triangles_to_quads(feedback_triangles(draw), &quads));
    return quads;
}

const float RED[4] = {0.85f, 0.2f, 0.0f, 1.0f};
const float YELLOW[4] = {0.7f, 0.7f, 0.1f, 1.0f};
const float BLUE[4] = {0.0f, 0.3f, 0.7f, 1.0f};

// The cube as designed: two opposite faces per colour, normals leaning out
// through the corners, with 1.85 across the x = +1 face and one bottom
// corner at (-1, -1, -1).
const Vertex cube_table[24] = {
    {{1, 1, 1}, {1, 1, 1.15f}},       {{1, -1, 1}, {1, -1, 1.15f}},
    {{-1, -1, 1}, {-1, -1, 1.15f}},   {{-1, 1, 1}, {-1, 1, 1.15f}},
    {{1, 1, -1}, {1, 1, -1.15f}},     {{1, -1, -1}, {1, -1, -1.15f}},
    {{-1, -1, -1}, {-1, -1, -1.15f}}, {{-1, 1, -1}, {-1, 1, -1.15f}},
    {{1, 1, -1}, {1.85f, 1, -1}},     {{1, -1, -1}, {1.85f, -1, -1}},
    {{1, -1, 1}, {1.85f, -1, 1}},     {{1, 1, 1}, {1.85f, 1, 1}},
    {{-1, 1, 1}, {-1.15f, 1, 1}},     {{-1, -1, 1}, {-1.15f, -1, 1}},
    {{-1, -1, -1}, {-1.15f, -1, -1}}, {{-1, 1, -1}, {-1.15f, 1, -1}},
    {{1, 1, 1}, {1, 1.15f, 1}},       {{1, 1, -1}, {1, 1.15f, -1}},
    {{-1, 1, -1}, {-1, 1.15f, -1}},   {{-1, 1, 1}, {-1, 1.15f, 1}},
    {{1, -1, 1}, {1, -1.15f, 1}},     {{1, -1, -1}, {1, -1.15f, -1}},
    {{-1, -1, -1}, {-1, -1, -1}},     {{-1, -1, 1}, {-1, -1.15f, 1}},
};

}  // namespace

TEST(CubeList, TwentyFourTabledVerticesWithTheirNormals)
{
    open_probe();
    std::vector<MeshVertex> quads = quads_of(call_cube);
    ASSERT_EQ(quads.size(), 24u);
    for (int v = 0; v < 24; v++) expect_vertex(quads[v], cube_table[v], "cube vertex " + std::to_string(v));
}

TEST(CubeList, MaterialPerPairOfFacesAndBlueLeftCurrent)
{
    open_probe();
    const float* face_colours[3] = {RED, YELLOW, BLUE};

    // Ambient light only: each vertex shows its face's ambient material.
    std::vector<MeshVertex> quads = quads_of(call_cube);
    ASSERT_EQ(quads.size(), 24u);
    for (int v = 0; v < 24; v++) expect_colour(quads[v].colour, face_colours[v / 8], "ambient " + std::to_string(v));

    // Diffuse light from the viewer: the diffuse material, the same colour,
    // scaled by the normalised normal's z (which shows the odd normals too).
    light_diffuse_only();
    quads = quads_of(call_cube);
    ASSERT_EQ(quads.size(), 24u);
    for (int v = 0; v < 24; v++) {
        const float* n = cube_table[v].normal;
        float facing = n[2] / std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (facing < 0) facing = 0;
        const float* colour = face_colours[v / 8];
        const float want[4] = {colour[0] * facing, colour[1] * facing, colour[2] * facing, colour[3]};
        expect_colour(quads[v].colour, want, "diffuse " + std::to_string(v));
    }

    expect_material(GL_FRONT, GL_AMBIENT, BLUE, "front ambient after the list");
    expect_material(GL_BACK, GL_DIFFUSE, BLUE, "back diffuse after the list");
}

namespace {

// The triangular frame's front faces at z = +0.1; the back faces repeat
// them at z = -0.1 with normal z -0.25.
const Vertex triangle_front[12] = {
    {{0, 1.2f, 0.1f}, {0, 1.2f, 0.25f}},
    {{0, 1.0f, 0.1f}, {0, 1.0f, 0.25f}},
    {{-0.866f, -0.6f, 0.1f}, {-0.866f, -0.6f, 0.25f}},
    {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.6f, 0.25f}},
    {{0, 1.2f, 0.1f}, {0, 1.2f, 0.25f}},
    {{0, 1.0f, 0.1f}, {0, 1.0f, 0.25f}},
    {{0.866f, -0.6f, 0.1f}, {0.866f, -0.6f, 0.25f}},
    {{1.01f, -0.6f, 0.1f}, {1.01f, -0.6f, 0.25f}},
    {{-0.866f, -0.5f, 0.1f}, {-0.866f, -0.5f, 0.25f}},
    {{0.866f, -0.5f, 0.1f}, {0.866f, -0.5f, 0.25f}},
    {{1.01f, -0.6f, 0.1f}, {1.01f, -0.6f, 0.25f}},
    {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.6f, 0.25f}},
};

const Vertex triangle_edges[24] = {
    {{0, 1.0f, -0.1f}, {0.5f, 0.9f, -0.1f}},
    {{0, 1.0f, 0.1f}, {0.5f, 0.9f, 0.1f}},
    {{-0.866f, -0.5f, 0.1f}, {-0.366f, -0.55f, 0.1f}},
    {{-0.866f, -0.5f, -0.1f}, {-0.366f, -0.55f, -0.1f}},
    {{0, 1.0f, -0.1f}, {-0.5f, 0.9f, -0.1f}},
    {{0, 1.0f, 0.1f}, {-0.5f, 0.9f, 0.1f}},
    {{0.866f, -0.5f, 0.1f}, {0.366f, -0.55f, 0.1f}},
    {{0.866f, -0.5f, -0.1f}, {0.366f, -0.55f, -0.1f}},
    {{-0.866f, -0.5f, -0.1f}, {-0.866f, -0.35f, -0.1f}},
    {{0.866f, -0.5f, -0.1f}, {0.866f, -0.35f, -0.1f}},
    {{0.866f, -0.5f, 0.1f}, {0.866f, -0.35f, 0.1f}},
    {{-0.866f, -0.5f, 0.1f}, {-0.866f, -0.35f, 0.1f}},
    {{0, 1.2f, -0.1f}, {-0.1f, 1.3f, -0.1f}},
    {{0, 1.2f, 0.1f}, {-0.1f, 1.3f, 0.1f}},
    {{-1.01f, -0.6f, 0.1f}, {-1.11f, -0.65f, 0.1f}},
    {{-1.01f, -0.6f, -0.1f}, {-1.11f, -0.65f, -0.1f}},
    {{0, 1.2f, -0.1f}, {0.1f, 1.3f, -0.1f}},
    {{0, 1.2f, 0.1f}, {0.1f, 1.3f, 0.1f}},
    {{1.01f, -0.6f, 0.1f}, {1.11f, -0.65f, 0.1f}},
    {{1.01f, -0.6f, -0.1f}, {1.11f, -0.65f, -0.1f}},
    {{-1.01f, -0.6f, -0.1f}, {-1.01f, -0.75f, -0.1f}},
    {{1.01f, -0.6f, -0.1f}, {1.01f, -0.75f, -0.1f}},
    {{1.01f, -0.6f, 0.1f}, {1.01f, -0.75f, 0.1f}},
    {{-1.01f, -0.6f, 0.1f}, {-1.01f, -0.75f, 0.1f}},
};

const float PROBE_MATERIAL[4] = {0.25f, 0.5f, 0.75f, 1.0f};

// A material of the caller's that a list without materials must keep.
void set_probe_material(void)
{
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, PROBE_MATERIAL);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, PROBE_MATERIAL);
}

void expect_caller_material(const std::vector<MeshVertex>& quads)
{
    for (size_t v = 0; v < quads.size(); v++) expect_colour(quads[v].colour, PROBE_MATERIAL, "vertex " + std::to_string(v));
    expect_material(GL_FRONT, GL_AMBIENT, PROBE_MATERIAL, "front ambient after the list");
    expect_material(GL_BACK, GL_DIFFUSE, PROBE_MATERIAL, "back diffuse after the list");
}

}  // namespace

TEST(TriangleList, FortyEightTabledVerticesWithTheirNormalsAndNoMaterial)
{
    open_probe();
    set_probe_material();
    std::vector<MeshVertex> quads = quads_of(call_triangle);
    ASSERT_EQ(quads.size(), 48u);
    for (int side = 0; side < 2; side++) {
        const float sign = side == 0 ? 1.0f : -1.0f;
        for (int v = 0; v < 12; v++) {
            Vertex want = triangle_front[v];
            want.position[2] *= sign;
            want.normal[2] *= sign;
            expect_vertex(quads[side * 12 + v], want, "face vertex " + std::to_string(side * 12 + v));
        }
    }
    for (int v = 0; v < 24; v++) expect_vertex(quads[24 + v], triangle_edges[v], "edge vertex " + std::to_string(24 + v));
    expect_caller_material(quads);
}

namespace {

// The cross's quads: 1 to 5 the front faces (6 to 10 repeat them at the
// back), 11 to 22 the sides.
const float cross_front[5][4][3] = {
    {{-0.3f, 1, 0.2f}, {0.3f, 1, 0.2f}, {0.3f, 0.3f, 0.2f}, {-0.3f, 0.3f, 0.2f}},
    {{-0.3f, -1, 0.2f}, {0.3f, -1, 0.2f}, {0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}},
    {{-1, 0.3f, 0.2f}, {-0.3f, 0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}, {-1, -0.3f, 0.2f}},
    {{1, 0.3f, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, -0.3f, 0.2f}, {1, -0.3f, 0.2f}},
    {{-0.3f, 0.3f, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, 0.2f}},
};

const float cross_sides[12][4][3] = {
    {{-0.3f, 1, 0.2f}, {-0.3f, 0.3f, 0.2f}, {-0.3f, 0.3f, -0.2f}, {-0.3f, 1, -0.2f}},
    {{-0.3f, -1, 0.2f}, {-0.3f, -0.3f, 0.2f}, {-0.3f, -0.3f, -0.2f}, {-0.3f, -1, -0.2f}},
    {{-0.3f, 0.3f, 0.2f}, {-1, 0.3f, 0.2f}, {-1, 0.3f, -0.2f}, {-0.3f, 0.3f, -0.2f}},
    {{-0.3f, -0.3f, 0.2f}, {-1, -0.3f, 0.2f}, {-1, -0.3f, -0.2f}, {-0.3f, -0.3f, -0.2f}},
    {{-1, 0.3f, 0.2f}, {-1, -0.3f, 0.2f}, {-1, -0.3f, -0.2f}, {-1, 0.3f, -0.2f}},
    {{0.3f, 1, 0.2f}, {0.3f, 0.3f, 0.2f}, {0.3f, 0.3f, -0.2f}, {0.3f, 1, -0.2f}},
    {{0.3f, -1, 0.2f}, {0.3f, -0.3f, 0.2f}, {0.3f, -0.3f, -0.2f}, {0.3f, -1, -0.2f}},
    {{0.3f, 0.3f, 0.2f}, {1, 0.3f, 0.2f}, {1, 0.3f, -0.2f}, {0.3f, 0.3f, -0.2f}},
    {{0.3f, -0.3f, 0.2f}, {1, -0.3f, 0.2f}, {1, -0.3f, -0.2f}, {0.3f, -0.3f, -0.2f}},
    {{1, 0.3f, 0.2f}, {1, -0.3f, 0.2f}, {1, -0.3f, -0.2f}, {1, 0.3f, -0.2f}},
    {{-0.3f, 1, 0.2f}, {-0.3f, 1, -0.2f}, {0.3f, 1, -0.2f}, {0.3f, 1, 0.2f}},
    {{-0.3f, -1, 0.2f}, {-0.3f, -1, -0.2f}, {0.3f, -1, -0.2f}, {0.3f, -1, 0.2f}},
};

}  // namespace

TEST(CrossList, EightyEightTabledVerticesWithTheirNormalsAndNoMaterial)
{
    open_probe();
    set_probe_material();
    std::vector<MeshVertex> quads = quads_of(call_cross);
    ASSERT_EQ(quads.size(), 88u);
    int index = 0;
    for (float sign : {1.0f, -1.0f}) {
        for (const auto& quad : cross_front) {
            for (const auto& corner : quad) {
                // Front and back faces: normal (x, y, +-0.3).
                Vertex want = {{corner[0], corner[1], sign * corner[2]}, {corner[0], corner[1], sign * 0.3f}};
                expect_vertex(quads[index], want, "face vertex " + std::to_string(index));
                index++;
            }
        }
    }
    for (const auto& quad : cross_sides) {
        for (const auto& corner : quad) {
            // Sides: the normal is the vertex itself.
            Vertex want = {{corner[0], corner[1], corner[2]}, {corner[0], corner[1], corner[2]}};
            expect_vertex(quads[index], want, "side vertex " + std::to_string(index));
            index++;
        }
    }
    expect_caller_material(quads);
}

TEST(MeshLists, BuiltAtStartUpCrossThenCubeThenTriangle)
{
    ASSERT_EQ(cross_list, 0u);
    ASSERT_TRUE(open_test_window(64, 64));
    EXPECT_TRUE(glIsList(cross_list));
    EXPECT_TRUE(glIsList(cube_list));
    EXPECT_TRUE(glIsList(triangle_list));
    // Each builder takes the next free list after the large font's 96.
    EXPECT_EQ(cross_list, font_base + FONT_GLYPHS);
    EXPECT_EQ(cube_list, cross_list + 1);
    EXPECT_EQ(triangle_list, cube_list + 1);
}

// ---------------------------------------------------------------------------
// Scene 2 shapes

namespace {

void draw_box_shape(void) { draw_box(); }
void draw_star_shape(void) { draw_star(); }
void draw_shard_shapes(void) { draw_shards(); }
void draw_wire_shape(void) { draw_wire_frame(); }

// Distinct face values, so every vertex shows which value it took.
void set_distinct_faces(void)
{
    const BoxFace faces[BOX_FACE_COUNT] = {
        {0.11f, 0.12f, 0.13f}, {0.21f, 0.22f, 0.23f}, {0.31f, 0.32f, 0.33f},
        {0.41f, 0.42f, 0.43f}, {0.51f, 0.52f, 0.53f}, {0.61f, 0.62f, 0.63f},
    };
    for (int f = 0; f < BOX_FACE_COUNT; f++) box_faces[f] = faces[f];
}

}  // namespace

TEST(Box, SixFacesWithNormalsLeaningOutAlongTheirOwnAxis)
{
    open_probe();
    object_depth = 0.0f;
    set_distinct_faces();
    colour_step = 5;
    std::vector<MeshVertex> quads = quads_of(draw_box_shape);
    ASSERT_EQ(quads.size(), 24u);
    // Corner signs per face, and the own axis with its outward sign.
    struct Face {
        int signs[4][3];
        int axis;
        float outward;
    } faces[6] = {
        {{{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}}, 2, 1},
        {{{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}}, 2, -1},
        {{{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}, 0, -1},
        {{{1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}}, 0, 1},
        {{{1, 1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}}, 1, 1},
        {{{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}}, 1, -1},
    };
    for (int f = 0; f < 6; f++) {
        const float values[3] = {box_faces[f].x, box_faces[f].y, box_faces[f].z};
        for (int v = 0; v < 4; v++) {
            Vertex want;
            for (int i = 0; i < 3; i++) want.position[i] = want.normal[i] = faces[f].signs[v][i] * values[i];
            want.normal[faces[f].axis] += faces[f].outward * 0.15f;
            expect_vertex(quads[f * 4 + v], want, "face " + std::to_string(f) + " vertex " + std::to_string(v));
            expect_colour(quads[f * 4 + v].colour, box_palette[5], "colour 5");
        }
    }
}

TEST(Box, PaletteColoursAndShininessFromColourZero)
{
    open_probe();
    object_depth = 0.0f;
    set_distinct_faces();
    GLfloat shininess = -1;
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 0.0f);
    // Colours 0..7 as tabled; any other colour_step keeps the material the
    // previous drawing left (here colour 7's). Shininess 90 comes with
    // colour 0 and stays for every later colour.
    struct Case {
        int16_t step;
        const float* want;
    } cases[] = {{1, box_palette[1]}, {0, box_palette[0]}, {2, box_palette[2]}, {3, box_palette[3]},
                 {4, box_palette[4]}, {5, box_palette[5]}, {6, box_palette[6]}, {7, box_palette[7]},
                 {8, box_palette[7]}, {-1, box_palette[7]}};
    const float palette_table[8][4] = {
        {0.1f, 0.3f, 0.8f, 1.0f}, {0.5f, 0.1f, 0.4f, 1.0f}, {0.8f, 0.1f, 0.2f, 1.0f}, {0.8f, 0.3f, 0.1f, 1.0f},
        {0.8f, 0.8f, 0.2f, 1.0f}, {0.3f, 0.7f, 0.2f, 1.0f}, {0.1f, 0.4f, 0.1f, 1.0f}, {0.1f, 0.2f, 0.4f, 1.0f},
    };
    for (int c = 0; c < 8; c++) expect_colour(box_palette[c], palette_table[c], "palette " + std::to_string(c));
    for (const Case& c : cases) {
        colour_step = c.step;
        std::vector<MeshVertex> quads = quads_of(draw_box_shape);
        ASSERT_EQ(quads.size(), 24u);
        expect_colour(quads[0].colour, c.want, "colour_step " + std::to_string(c.step));
        expect_material(GL_BACK, GL_DIFFUSE, c.want, "back diffuse, colour_step " + std::to_string(c.step));
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, c.step == 1 ? 0.0f : 90.0f) << "colour_step " << c.step;
    }
}

TEST(Box, ZeroSizeCollapsesToThePointAtObjectDepth)
{
    open_probe();
    std::vector<MeshVertex> quads = quads_of(draw_box_shape);
    ASSERT_EQ(quads.size(), 24u);
    for (const MeshVertex& v : quads) {
        EXPECT_NEAR(v.position[0], 0.0f, TOLERANCE);
        EXPECT_NEAR(v.position[1], 0.0f, TOLERANCE);
        EXPECT_NEAR(v.position[2], -3.0f, TOLERANCE);
    }
}

namespace {

// Rotations as glRotatef applies them to a column vector.
void rotate(float degrees, int axis, float v[3])
{
    const double a = degrees * M_PI / 180.0;
    const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    const float vi = v[i], vj = v[j];
    v[i] = c * vi - s * vj;
    v[j] = s * vi + c * vj;
}

struct ShardRow {
    int face;
    float position[3][3];  // per axis: coefficient of S, of the own-axis value, constant
    float first_sign;
    int first_axis;
    float second_sign;
    int corners[3][3];
};

// The twelve shards as tabled: position, rotations and corners.
const ShardRow shard_table[12] = {
    {0, {{-1, 0, 0}, {0, 0, 0}, {0, 1, 0}}, 1, 0, 1, {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}}},
    {0, {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}}, 1, 0, 1, {{1, -1, 0}, {-1, -1, 0}, {1, 1, 0}}},
    {1, {{-1, 0, 0}, {0, 0, 0}, {0, 1, 0}}, -1, 0, 1, {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}}},
    {1, {{1, 0, 0}, {0, 0, 0}, {0, 1, 0}}, 1, 0, -1, {{1, -1, 0}, {-1, -1, 0}, {1, 1, 0}}},
    {2, {{0, 1, 0}, {0, 0, 0}, {-1, 0, -3}}, 1, 1, 1, {{0, 1, -1}, {0, 1, 1}, {0, -1, -1}}},
    {2, {{0, 1, 0}, {0, 0, 0}, {1, 0, -3}}, -1, 0, 1, {{0, -1, 1}, {0, -1, -1}, {0, 1, 1}}},
    {3, {{0, 1, 0}, {0, 0, 0}, {-1, 0, -3}}, 1, 0, 1, {{0, 1, -1}, {0, 1, 1}, {0, -1, -1}}},
    {3, {{0, 1, 0}, {0, 0, 0}, {1, 0, -3}}, -1, 0, -1, {{0, -1, 1}, {0, -1, -1}, {0, 1, 1}}},
    {4, {{-1, 0, 0}, {0, 1, 0}, {0, 0, -3}}, -1, 0, -1, {{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}}},
    {4, {{1, 0, 0}, {0, 1, 0}, {0, 0, -3}}, 1, 0, -1, {{1, 0, 1}, {-1, 0, 1}, {1, 0, -1}}},
    {5, {{1, 0, 0}, {0, 1, 0}, {0, 0, -3}}, -1, 0, 1, {{-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}}},
    {5, {{-1, 0, 0}, {0, 1, 0}, {0, 0, -3}}, -1, 0, -1, {{1, 0, 1}, {-1, 0, 1}, {1, 0, -1}}},
};
const int own_axis[6] = {2, 2, 0, 0, 1, 1};
const float outward[6] = {1, -1, -1, 1, 1, -1};

}  // namespace

TEST(Shards, TwelveTrianglesPlacedAndTurnedAsTabled)
{
    open_probe();
    set_distinct_faces();
    shard_spread = 0.7f;
    const float shard_colour[4] = {0.8f, 0.3f, 0.1f, 1.0f};
    // Each case turns one angle a quarter turn, which shows about which
    // axis and in which sense each shard takes it.
    struct Case {
        float x, y;
    } cases[] = {{0, 0}, {90, 0}, {0, 90}, {30, -50}};
    for (const Case& c : cases) {
        box_angle_x = c.x;
        box_angle_y = c.y;
        std::vector<MeshVertex> triangles = feedback_triangles(draw_shard_shapes);
        ASSERT_EQ(triangles.size(), 36u);
        for (int s = 0; s < 12; s++) {
            const ShardRow& row = shard_table[s];
            const float values[3] = {box_faces[row.face].x, box_faces[row.face].y, box_faces[row.face].z};
            const int own = own_axis[row.face];
            float position[3];
            for (int i = 0; i < 3; i++)
                position[i] = row.position[i][0] * shard_spread + row.position[i][1] * values[own] + row.position[i][2];
            for (int v = 0; v < 3; v++) {
                Vertex want;
                for (int i = 0; i < 3; i++) want.position[i] = want.normal[i] = row.corners[v][i] * values[i];
                want.normal[own] = outward[row.face] * 0.15f;
                for (float* vector : {want.position, want.normal}) {
                    rotate(row.second_sign * c.y, 1, vector);
                    rotate(row.first_sign * c.x, row.first_axis, vector);
                }
                for (int i = 0; i < 3; i++) want.position[i] += position[i];
                const MeshVertex& got = triangles[s * 3 + v];
                expect_vertex(got, want, "angles " + std::to_string(c.x) + "/" + std::to_string(c.y) + " shard " +
                                             std::to_string(s + 1) + " vertex " + std::to_string(v));
                expect_colour(got.colour, shard_colour, "shard colour");
            }
        }
    }
}

namespace {

// One side of a spike: its direction and two base corners, as tabled
// (the spike's own-axis coordinate unsigned).
struct SideRow {
    int axis;
    float sign;
    int corners[2][3];
};

const SideRow side_table[3][4] = {
    {{1, 1, {{1, 1, -1}, {1, 1, 1}}}, {1, -1, {{1, -1, -1}, {1, -1, 1}}},
     {2, 1, {{1, 1, 1}, {1, -1, 1}}}, {2, -1, {{1, 1, -1}, {1, -1, -1}}}},
    {{0, -1, {{-1, 1, -1}, {-1, 1, 1}}}, {0, 1, {{1, 1, -1}, {1, 1, 1}}},
     {2, 1, {{1, 1, 1}, {-1, 1, 1}}}, {2, -1, {{1, 1, -1}, {-1, 1, -1}}}},
    {{0, -1, {{-1, 1, 1}, {-1, -1, 1}}}, {0, 1, {{1, 1, 1}, {1, -1, 1}}},
     {1, 1, {{1, 1, 1}, {-1, 1, 1}}}, {1, -1, {{1, -1, 1}, {-1, -1, 1}}}},
};

void expect_star(const std::string& label)
{
    std::vector<MeshVertex> triangles = feedback_triangles(draw_star_shape);
    ASSERT_EQ(triangles.size(), 72u) << label;
    const float star_colour[4] = {0.1f, 0.2f, 0.4f, 1.0f};
    int index = 0;
    for (int spike = 0; spike < 6; spike++) {
        const int axis = spike / 2;
        const float sign = spike % 2 == 0 ? 1.0f : -1.0f;
        const float extent[3] = {spike_extent[spike], spike_extent[6 + spike], spike_extent[12 + spike]};
        for (const SideRow& side : side_table[axis]) {
            Vertex want[3] = {};
            want[0].position[axis] = sign * spike_tip;
            for (int c = 0; c < 2; c++) {
                for (int i = 0; i < 3; i++) want[c + 1].position[i] = side.corners[c][i] * extent[i];
                want[c + 1].position[axis] *= sign;
            }
            for (Vertex& v : want) {
                for (int i = 0; i < 3; i++) v.normal[i] = v.position[i];
                v.normal[axis] += 0.001f * sign;
                v.normal[side.axis] += 0.1f * side.sign;
                v.position[2] += object_depth;
                expect_vertex(triangles[index], v, label + " spike " + std::to_string(spike) + " vertex " +
                                                       std::to_string(index % 12));
                expect_colour(triangles[index].colour, star_colour, "star colour");
                index++;
            }
        }
    }
}

}  // namespace

TEST(Star, TwentyFourTrianglesOfSixSpikesWithTheirNormals)
{
    open_probe();
    // The initial extents: six bases on a cube of half-size 0.02.
    expect_star("initial");
    // Distinct extents show which entry each corner takes.
    for (int e = 0; e < 18; e++) spike_extent[e] = 0.05f + 0.01f * e;
    spike_tip = 0.6f;
    object_depth = -1.0f;
    expect_star("distinct");
    // A negative tip turns the spikes inwards through the centre.
    spike_tip = -0.3f;
    expect_star("inverted");
}

TEST(WireFrame, FourSquaresOfLinesAndOnlyTheFrontAmbientChanged)
{
    open_probe();
    object_depth = 0.0f;
    wire_half_size = 0.5f;
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, PROBE_MATERIAL);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, PROBE_MATERIAL);
    std::vector<FeedbackPrimitive> primitives = feedback_primitives(draw_wire_shape);

    // The outline of every square, none of the diagonals the quads are
    // split by: 16 lines over 12 distinct edges (the side squares share
    // their vertical edges with the front and back ones).
    using Point = std::tuple<int, int, int>;
    auto corner = [](const MeshVertex& v) {
        return Point(static_cast<int>(std::lround(v.position[0] * 2)), static_cast<int>(std::lround(v.position[1] * 2)),
                     static_cast<int>(std::lround(v.position[2] * 2)));
    };
    std::set<std::pair<Point, Point>> edges;
    for (const FeedbackPrimitive& p : primitives) {
        ASSERT_TRUE(p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) << "token " << p.token;
        Point a = corner(p.vertices[0]), b = corner(p.vertices[1]);
        edges.insert(a < b ? std::make_pair(a, b) : std::make_pair(b, a));
    }
    const int squares[4][4][3] = {
        {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},
        {{-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}},
        {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},
        {{1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}},
    };
    std::set<std::pair<Point, Point>> want;
    for (const auto& square : squares)
        for (int v = 0; v < 4; v++) {
            const int* a = square[v];
            const int* b = square[(v + 1) % 4];
            Point pa(a[0], a[1], a[2]), pb(b[0], b[1], b[2]);
            want.insert(pa < pb ? std::make_pair(pa, pb) : std::make_pair(pb, pa));
        }
    EXPECT_EQ(primitives.size(), 16u);
    EXPECT_EQ(edges, want);
    EXPECT_EQ(want.size(), 12u);

    const float pale[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    expect_material(GL_FRONT, GL_AMBIENT, pale, "front ambient");
    expect_material(GL_FRONT, GL_DIFFUSE, PROBE_MATERIAL, "front diffuse kept");
    expect_material(GL_BACK, GL_AMBIENT, PROBE_MATERIAL, "back ambient kept");
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_LINE);
    EXPECT_EQ(modes[1], GL_LINE);
}

TEST(Shapes, FilledShapesSetPolygonModeFill)
{
    open_probe();
    for (void (*shape)(void) : {draw_box_shape, draw_shard_shapes, draw_star_shape}) {
        draw_wire_frame();
        shape();
        GLint modes[2];
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], GL_FILL);
        EXPECT_EQ(modes[1], GL_FILL);
    }
}
