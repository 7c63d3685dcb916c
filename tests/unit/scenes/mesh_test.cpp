// The three display-list meshes and the four scene 2 shapes, read back
// through GL feedback mode: vertex counts, the rules their normals follow
// and the odd entries, a checksum over every vertex in order, materials.
#include <cmath>

#include "tests/unit/scenes/scene_harness.h"

using namespace scene_test;

namespace {

// A weighted sum over the vertices in order, with weights no symmetry of a
// mesh cancels: any moved vertex, changed normal or reordering shows.
double checksum(const std::vector<MeshVertex>& vertices)
{
    double sum = 0;
    for (size_t i = 0; i < vertices.size(); i++)
        for (int a = 0; a < 3; a++)
            sum += (1 + 0.5 * std::sin(1.0 + 3.0 * i + a)) * vertices[i].position[a] +
                   (1 + 0.5 * std::cos(2.0 + 5.0 * i + a)) * vertices[i].normal[a];
    return sum;
}

void expect_colour(const float got[4], const float want[4], const char* where, int index = 0)
{
    for (int c = 0; c < 4; c++) EXPECT_NEAR(got[c], want[c], EPS) << where << " " << index << " channel " << c;
}

void expect_material(GLenum face, GLenum parameter, const float want[4], const char* where)
{
    GLfloat got[4];
    glGetMaterialfv(face, parameter, got);
    expect_colour(got, want, where);
}

void open_probe(void)
{
    ASSERT_TRUE(open_test_window(64, 64));
    begin_mesh_probe();
}

const float RED[4] = {0.85f, 0.2f, 0.0f, 1.0f}, YELLOW[4] = {0.7f, 0.7f, 0.1f, 1.0f},
            BLUE[4] = {0.0f, 0.3f, 0.7f, 1.0f};
const float CALLER[4] = {0.25f, 0.5f, 0.75f, 1.0f};  // a material a list without materials must keep

std::vector<MeshVertex> list_with_caller_material(GLuint list)
{
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, CALLER);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, CALLER);
    std::vector<MeshVertex> quads = feedback_quads([list] { glCallList(list); });
    for (size_t v = 0; v < quads.size(); v++) expect_colour(quads[v].colour, CALLER, "vertex", static_cast<int>(v));
    expect_material(GL_BACK, GL_DIFFUSE, CALLER, "back diffuse after the list");
    return quads;
}

}  // namespace

TEST(CubeList, TwentyFourVerticesTheOddNormalsAndAMaterialPerPairOfFaces)
{
    open_probe();
    std::vector<MeshVertex> quads = feedback_quads([] { glCallList(cube_list); });
    ASSERT_EQ(quads.size(), 24u);
    EXPECT_NEAR(checksum(quads), 4.93907, 1e-3);
    // Normals lean out through the corners by 1.15, but by 1.85 across the
    // x = +1 face, and the third corner of y = -1 has (-1, -1, -1).
    for (int v = 8; v < 12; v++) EXPECT_NEAR(quads[v].normal[0], 1.85f, EPS) << "vertex " << v;
    EXPECT_NEAR(quads[21].normal[1], -1.15f, EPS);
    for (int a = 0; a < 3; a++) EXPECT_NEAR(quads[22].normal[a], -1.0f, EPS);
    // Faces z, x and y in pairs: red, yellow, blue as ambient colour...
    const float* pair_colour[3] = {RED, YELLOW, BLUE};
    for (int v = 0; v < 24; v++) expect_colour(quads[v].colour, pair_colour[v / 8], "ambient", v);
    // ... and as diffuse colour, under a diffuse light from the viewer
    // scaled by the normalised normal's z.
    const GLfloat white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1}, from_viewer[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_POSITION, from_viewer);
    glEnable(GL_NORMALIZE);
    quads = feedback_quads([] { glCallList(cube_list); });
    ASSERT_EQ(quads.size(), 24u);
    for (int v = 0; v < 24; v++) {
        const float* n = quads[v].normal;
        const float facing = std::fmax(0.0f, n[2] / std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]));
        const float* c = pair_colour[v / 8];
        const float want[4] = {c[0] * facing, c[1] * facing, c[2] * facing, c[3]};
        expect_colour(quads[v].colour, want, "diffuse", v);
    }
    expect_material(GL_FRONT, GL_AMBIENT, BLUE, "front ambient after the list");
    expect_material(GL_BACK, GL_DIFFUSE, BLUE, "back diffuse after the list");
}

TEST(TriangleAndCrossLists, VertexCountsChecksumsAndNoMaterial)
{
    open_probe();
    std::vector<MeshVertex> triangle = list_with_caller_material(triangle_list);
    ASSERT_EQ(triangle.size(), 48u);
    EXPECT_NEAR(checksum(triangle), -0.784514, 1e-3);
    // The left bar's front reaches down to y = -0.6 at the inner x; its
    // inner edge ends at the inner corner, y = -0.5.
    EXPECT_NEAR(triangle[2].position[1], -0.6f, EPS);
    EXPECT_NEAR(triangle[26].position[1], -0.5f, EPS);
    EXPECT_NEAR(triangle[26].position[0], triangle[2].position[0], EPS);
    std::vector<MeshVertex> cross = list_with_caller_material(cross_list);
    ASSERT_EQ(cross.size(), 88u);
    EXPECT_NEAR(checksum(cross), 2.24639, 1e-3);
}

// ---------------------------------------------------------------------------
// Scene 2 shapes

namespace {

// Distinct face values, so every vertex shows which value it took.
void set_distinct_faces(void)
{
    for (int f = 0; f < BOX_FACE_COUNT; f++) box_faces[f] = {0.11f + 0.1f * f, 0.12f + 0.1f * f, 0.13f + 0.1f * f};
}

}  // namespace

TEST(Box, FacesFromTheirValuesPaletteColoursAndShininessFromColourZero)
{
    open_probe();
    object_depth = 0.0f;
    set_distinct_faces();
    GLfloat shininess = -1;
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_EQ(shininess, 0.0f);
    const float palette[8][4] = {{0.1f, 0.3f, 0.8f, 1}, {0.5f, 0.1f, 0.4f, 1}, {0.8f, 0.1f, 0.2f, 1},
                                 {0.8f, 0.3f, 0.1f, 1}, {0.8f, 0.8f, 0.2f, 1}, {0.3f, 0.7f, 0.2f, 1},
                                 {0.1f, 0.4f, 0.1f, 1}, {0.1f, 0.2f, 0.4f, 1}};
    // Any colour_step outside 0..7 keeps the material the previous drawing
    // left (here colour 7's); shininess 90 comes with colour 0 and stays.
    for (int16_t step : {1, 0, 2, 3, 4, 5, 6, 7, 8, -1}) {
        colour_step = step;
        std::vector<MeshVertex> quads = feedback_quads(draw_box);
        ASSERT_EQ(quads.size(), 24u);
        EXPECT_NEAR(checksum(quads), -1.51898, 1e-3);
        const float* want = palette[step >= 0 && step < 8 ? step : 7];
        for (const MeshVertex& v : quads) expect_colour(v.colour, want, "colour_step", step);
        expect_material(GL_BACK, GL_DIFFUSE, want, "back diffuse");
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, step == 1 ? 0.0f : 90.0f) << "colour_step " << step;
    }
}

TEST(Box, ZeroSizeCollapsesToThePointAtObjectDepth)
{
    open_probe();
    std::vector<MeshVertex> quads = feedback_quads(draw_box);
    ASSERT_EQ(quads.size(), 24u);
    for (const MeshVertex& v : quads)
        for (int a = 0; a < 3; a++) EXPECT_NEAR(v.position[a], a == 2 ? -3.0f : 0.0f, EPS);
}

TEST(Shards, TwelveTrianglesPlacedAndTurnedAboutTheirOwnPositions)
{
    open_probe();
    set_distinct_faces();
    shard_spread = 0.7f;
    object_depth = -1.0f;  // the shards ignore it: they turn about (0, 0, -3)
    const float shard_colour[4] = {0.8f, 0.3f, 0.1f, 1.0f};
    // Each case turns one angle a quarter turn, which shows about which
    // axis and in which sense each shard takes it.
    const float angles[4][2] = {{0, 0}, {90, 0}, {0, 90}, {30, -50}};
    const double sums[4] = {-59.9892, -57.3397, -57.5040, -61.3417};
    for (int c = 0; c < 4; c++) {
        box_angle_x = angles[c][0], box_angle_y = angles[c][1];
        std::vector<MeshVertex> triangles = feedback_triangles(draw_shards);
        ASSERT_EQ(triangles.size(), 36u);
        EXPECT_NEAR(checksum(triangles), sums[c], 1e-3) << "angles " << angles[c][0] << "/" << angles[c][1];
        for (const MeshVertex& v : triangles) expect_colour(v.colour, shard_colour, "shard colour");
        // Shard 5 turns its X about the y axis too: a quarter turn of X
        // leaves its corners' y alone.
        for (int v = 12; v < 15 && c == 1; v++)
            EXPECT_NEAR(std::fabs(triangles[v].position[1]), box_faces[FACE_LEFT].y, EPS) << "shard 5";
    }
}

TEST(Star, TwentyFourTrianglesOfSixSpikesWithTheirNormals)
{
    open_probe();
    const float star_colour[4] = {0.1f, 0.2f, 0.4f, 1.0f};
    auto star = [&](const char* label, double sum) {
        std::vector<MeshVertex> t = feedback_triangles(draw_star);
        ASSERT_EQ(t.size(), 72u) << label;
        EXPECT_NEAR(checksum(t), sum, 1e-3) << label;
        for (const MeshVertex& v : t) expect_colour(v.colour, star_colour, label);
        // The +x spike's +y side: the tip, then (X, Y, -Z) and (X, Y, Z);
        // each normal its position plus 0.001 along +x and 0.1 along +y.
        const float X = spike_extent[0], Y = spike_extent[6], Z = spike_extent[12];
        const float want[3][3] = {{spike_tip, 0, 0}, {X, Y, -Z}, {X, Y, Z}}, lean[3] = {0.001f, 0.1f, 0};
        for (int v = 0; v < 3; v++)
            for (int a = 0; a < 3; a++) {
                EXPECT_NEAR(t[v].position[a], want[v][a] + (a == 2 ? object_depth : 0), EPS) << label << " " << v;
                EXPECT_NEAR(t[v].normal[a], want[v][a] + lean[a], EPS) << label << " " << v;
            }
    };
    star("initial", -216.670);
    for (int e = 0; e < 18; e++) spike_extent[e] = 0.05f + 0.01f * e;  // distinct extents
    spike_tip = 0.6f;
    object_depth = -1.0f;
    star("distinct", -73.2176);
    spike_tip = -0.3f;  // turned inwards through the centre
    star("inverted", -72.8035);
}

TEST(WireFrame, FourSquaresOfLinesOnlyTheFrontAmbientAndTheFilledShapesRestoreFill)
{
    open_probe();
    object_depth = 0.0f;
    wire_half_size = 0.5f;
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, CALLER);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, CALLER);
    // The outlines of four squares, no diagonals: 16 lines along one axis
    // each, of length 2s.
    std::vector<FeedbackPrimitive> lines = feedback_primitives(draw_wire_frame);
    EXPECT_EQ(lines.size(), 16u);
    for (const FeedbackPrimitive& line : lines) {
        ASSERT_TRUE(line.token == GL_LINE_TOKEN || line.token == GL_LINE_RESET_TOKEN) << line.token;
        float length = 0;
        for (int a = 0; a < 3; a++) length += std::fabs(line.vertices[0].position[a] - line.vertices[1].position[a]);
        EXPECT_NEAR(length, 1.0f, EPS);
    }
    const float pale[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    expect_material(GL_FRONT, GL_AMBIENT, pale, "front ambient");
    expect_material(GL_FRONT, GL_DIFFUSE, CALLER, "front diffuse kept");
    expect_material(GL_BACK, GL_AMBIENT, CALLER, "back ambient kept");
    for (void (*shape)(void) : {draw_wire_frame, draw_box, draw_shards, draw_star}) {
        draw_wire_frame();
        shape();
        GLint modes[2];
        glGetIntegerv(GL_POLYGON_MODE, modes);
        EXPECT_EQ(modes[0], shape == draw_wire_frame ? GL_LINE : GL_FILL);
        EXPECT_EQ(modes[1], modes[0]);
    }
}
