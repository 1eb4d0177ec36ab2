// The web backend's GL 1.x layer, built natively over the WebGL stand-in of
// webgl_recorder.cpp: the state it keeps for GL (matrix and attribute stacks,
// the vertices gathered between glBegin and glEnd, display lists, bitmap
// text) checked through what reaches WebGL.
#include "webgl_recorder.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

namespace {

void fresh_context()
{
    webgl_reset();
    gl1_context_created(640, 480);
}

class WebGl1 : public testing::Test {
protected:
    void SetUp() override { fresh_context(); }
    void TearDown() override { EXPECT_TRUE(webgl.faults.empty()) << webgl.faults.front(); }
};

// The vertex a one-point draw takes from the current attributes.
Gl1Vertex probe()
{
    glBegin(GL_POINTS);
    glVertex3f(0, 0, 0);
    glEnd();
    return webgl.draws.back().vertices.at(0);
}

Matrix current(GLenum which)
{
    GLdouble values[16];
    glGetDoublev(which, values);
    Matrix m;
    for (int i = 0; i < 16; ++i)
        m[size_t(i)] = float(values[i]);
    return m;
}

Matrix translation(float x, float y, float z)
{
    Matrix m = identity_matrix();
    m[12] = x, m[13] = y, m[14] = z;
    return m;
}

} // namespace

// Where a point lands (after the divide by w) under each way of building the
// matrices: the last call applies first, and projection comes after modelview.
TEST_F(WebGl1, TransformsComposeInCallOrder)
{
    struct Case {
        const char* name;
        std::function<void()> build;
        float point[3], expected[3];
    };
    const Case cases[] = {
        {"translate, then rotate about z", [] { glTranslatef(10, 0, 0), glRotatef(90, 0, 0, 1); }, {1, 0, 0},
         {10, 1, 0}},
        {"rotate about x", [] { glRotatef(90, 1, 0, 0); }, {0, 1, 0}, {0, 0, 1}},
        {"rotate about minus y", [] { glRotatef(90, 0, -1, 0); }, {1, 0, 0}, {0, 0, 1}},
        {"rotate about (1, 1, 1)", [] { glRotatef(120, 1, 1, 1); }, {1, 0, 0}, {0, 1, 0}},
        {"projection after modelview",
         [] {
             glMatrixMode(GL_PROJECTION);
             gluOrtho2D(0, 640, 480, 0);
             glMatrixMode(GL_MODELVIEW);
             glTranslatef(320, 240, 0);
         },
         {-320, -240, 0}, {-1, 1, 0}},
        {"ortho depth", [] { glOrtho(0, 10, 0, 10, 1, 11); }, {10, 10, -11}, {1, 1, 1}},
        {"frustum, far corner", [] { glFrustum(-1, 1, -1, 1, 1, 100); }, {50, -100, -100}, {0.5f, -1, 1}},
        {"look from +x at the origin", [] { gluLookAt(5, 0, 0, 0, 0, 0, 0, 1, 0); }, {0, 0, -1}, {1, 0, -5}},
        {"load replaces, column by column",
         [] {
             glTranslatef(100, 0, 0);
             const GLdouble m[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1};
             glLoadMatrixd(m);
         },
         {1, 1, 1}, {3, 5, 7}},
    };
    for (const Case& c : cases) {
        fresh_context();
        c.build();
        glBegin(GL_POINTS);
        glVertex3f(c.point[0], c.point[1], c.point[2]);
        glEnd();
        const std::array<float, 4> clip = clip_position(webgl.draws.at(0), 0);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(clip[size_t(k)] / clip[3], c.expected[k], 1e-5f) << c.name << ", coordinate " << k;
    }
}

TEST_F(WebGl1, MatrixStacksPushAndPopPerModeAndIgnoreUnderflow)
{
    glTranslatef(1, 0, 0);
    glPushMatrix();
    glTranslatef(0, 1, 0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glOrtho(0, 1, 0, 1, -1, 1);
    glPopMatrix();
    glPopMatrix(); // the projection stack's last matrix stays
    EXPECT_EQ(current(GL_PROJECTION_MATRIX), identity_matrix());
    // Deeper than GL's least depths (2 and 32), every level comes back.
    for (int level = 0; level < 40; ++level) {
        glPushMatrix();
        glTranslatef(1, 2, 3);
    }
    for (int level = 0; level < 40; ++level)
        glPopMatrix();
    EXPECT_EQ(current(GL_PROJECTION_MATRIX), identity_matrix());

    glMatrixMode(GL_MODELVIEW);
    EXPECT_EQ(current(GL_MODELVIEW_MATRIX), translation(1, 1, 0));
    glPopMatrix();
    EXPECT_EQ(current(GL_MODELVIEW_MATRIX), translation(1, 0, 0));
    glPopMatrix();
    EXPECT_EQ(current(GL_MODELVIEW_MATRIX), translation(1, 0, 0));
}

// For each change: pushed, changed, drawn, popped and drawn again, the last
// draw is the one made without the change (and so is one after a pop too
// many); the draw inside shows the change, so each one is really tried.
TEST_F(WebGl1, AttributePopRestoresWhatPushSaved)
{
    static const GLfloat dim[4] = {0.1f, 0.1f, 0.1f, 1}, warm[4] = {0.8f, 0.7f, 0.6f, 1};
    static const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 1};
    static const GLfloat slanted[4] = {1, 2, 2, 0}, from_x[4] = {1, 0, 0, 0};
    const auto base = [] {
        glMatrixMode(GL_PROJECTION);
        glOrtho(-2, 2, -2, 2, -2, 2);
        glMatrixMode(GL_MODELVIEW);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT1);
        glLightfv(GL_LIGHT1, GL_AMBIENT, dim);
        glLightfv(GL_LIGHT1, GL_DIFFUSE, warm);
        glLightfv(GL_LIGHT1, GL_POSITION, slanted);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 5);
        glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
        glNormal3f(0, 1, 0);
        glTexCoord2f(0.25f, 0.75f);
        glListBase(100);
    };
    // Draws a triangle moved in the current matrix mode; gives what the draw
    // and the queries saw.
    const auto draw = [] {
        glPushMatrix();
        glTranslatef(1, 2, 3);
        glBegin(GL_TRIANGLES);
        glVertex3f(0, 0, 0);
        glVertex3f(1, 0, 0);
        glVertex3f(0, 1, 0);
        glEnd();
        glPopMatrix();
        GLint list_base = 0, matrix_mode = 0;
        glGetIntegerv(GL_LIST_BASE, &list_base);
        glGetIntegerv(GL_MATRIX_MODE, &matrix_mode);
        return std::make_tuple(webgl.draws.back(), list_base, matrix_mode);
    };
    struct Change {
        const char* name;
        std::function<void()> make;
    };
    const Change changes[] = {
        {"depth test and function", [] { glEnable(GL_DEPTH_TEST), glDepthFunc(GL_ALWAYS); }},
        {"blend off", [] { glDisable(GL_BLEND); }},
        {"blend function", [] { glBlendFunc(GL_ONE, GL_ONE); }},
        {"face culling", [] { glEnable(GL_CULL_FACE), glCullFace(GL_FRONT); }},
        {"flat shading", [] { glShadeModel(GL_FLAT); }},
        {"lighting off", [] { glDisable(GL_LIGHTING); }},
        {"light 1 off", [] { glDisable(GL_LIGHT1); }},
        {"light colours", [] { glLightfv(GL_LIGHT1, GL_AMBIENT, grey), glLightfv(GL_LIGHT1, GL_DIFFUSE, grey); }},
        {"light direction", [] { glLightfv(GL_LIGHT1, GL_POSITION, from_x); }},
        {"texturing off", [] { glDisable(GL_TEXTURE_2D); }},
        {"texture bound", [] { glBindTexture(GL_TEXTURE_2D, 6); }},
        {"current colour, normal and texture coordinate",
         [] { glColor4f(1, 1, 1, 1), glNormal3f(1, 0, 0), glTexCoord2f(0, 0); }},
        {"matrix mode", [] { glMatrixMode(GL_PROJECTION); }},
        {"list base", [] { glListBase(7); }},
    };
    for (const Change& change : changes) {
        fresh_context();
        base();
        const auto reference = draw();
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        change.make();
        EXPECT_FALSE(draw() == reference) << change.name << " shows in no draw";
        glPopAttrib();
        EXPECT_TRUE(draw() == reference) << change.name << " is not restored";
        glPopAttrib();
        EXPECT_TRUE(draw() == reference) << change.name << ": a pop on an empty stack changed something";
    }
}

// Each vertex takes the colour, normal and texture coordinate current at its
// glVertex. Quads become triangle pairs that keep the quad's winding and both
// end on its last vertex, which gives flat shading the quad's colour; an
// incomplete last quad is dropped. WebGL draws the other primitives itself.
TEST_F(WebGl1, BeginEndGathersVerticesIntoWebGlPrimitives)
{
    struct Case {
        GLenum mode;
        int vertices;
        GLenum drawn;
        std::vector<int> order; // gathered vertex of each drawn one
    };
    const Case cases[] = {
        {GL_QUADS, 9, GL_TRIANGLES, {0, 1, 3, 1, 2, 3, 4, 5, 7, 5, 6, 7}},
        {GL_TRIANGLES, 6, GL_TRIANGLES, {0, 1, 2, 3, 4, 5}},
        {GL_TRIANGLE_FAN, 5, GL_TRIANGLE_FAN, {0, 1, 2, 3, 4}},
        {GL_TRIANGLE_STRIP, 5, GL_TRIANGLE_STRIP, {0, 1, 2, 3, 4}},
        {GL_LINES, 4, GL_LINES, {0, 1, 2, 3}},
        {GL_LINE_STRIP, 3, GL_LINE_STRIP, {0, 1, 2}},
        {GL_LINE_LOOP, 3, GL_LINE_LOOP, {0, 1, 2}},
        {GL_POINTS, 2, GL_POINTS, {0, 1}},
    };
    for (const Case& c : cases) {
        fresh_context();
        glVertex3f(9, 9, 9); // outside glBegin: nothing
        glBegin(c.mode);
        std::vector<Gl1Vertex> gathered;
        for (int i = 0; i < c.vertices; ++i) {
            const float f = float(i);
            if (i % 2 == 0) // the odd vertices keep the colour of the one before
                glColor4f(f / 10, 1 - f / 10, 0.5f, 1);
            glNormal3f(0, f, 1);
            glTexCoord2f(f, -f);
            glVertex3f(f, f * f, -f);
            const float shade = float(i - i % 2) / 10;
            gathered.push_back({{f, f * f, -f}, {shade, 1 - shade, 0.5f, 1}, {0, f, 1}, {f, -f}});
        }
        glEnd();
        glEnd(); // a second glEnd draws nothing
        ASSERT_EQ(webgl.draws.size(), 1u) << "mode " << c.mode;
        const RecordedDraw& draw = webgl.draws[0];
        EXPECT_EQ(draw.mode, c.drawn) << "mode " << c.mode;
        std::vector<Gl1Vertex> expected;
        for (int k : c.order)
            expected.push_back(gathered[size_t(k)]);
        EXPECT_TRUE(draw.vertices == expected) << "mode " << c.mode;
    }
}

// Compiling draws nothing and changes no current attribute; the list then
// draws what the same calls draw at once, with the colours and normals they
// set, under the matrices of the call, and leaves the last ones set.
TEST_F(WebGl1, DisplayListReplayDrawsAsImmediateDrawing)
{
    const auto body = [] {
        glBegin(GL_QUADS);
        glColor4f(1, 0, 0, 1);
        glNormal3f(0, 0, 1);
        glTexCoord2f(0.5f, 0.5f);
        for (float x : {0.0f, 1.0f, 1.0f, 0.0f})
            glVertex3f(x, x, 0);
        glColor3ub(0, 255, 0);
        glNormal3f(1, 0, 0);
        for (float x : {2.0f, 3.0f, 3.0f, 2.0f})
            glVertex3f(x, 0, x);
        glEnd();
        glBegin(GL_LINES);
        glColor4f(0, 0, 1, 0.5f);
        glVertex2f(0, 0);
        glVertex2f(5, 5);
        glEnd();
    };
    glTranslatef(3, 0, 0);
    body();
    const std::vector<RecordedDraw> immediate = webgl.draws;
    const Gl1Vertex left_by_immediate = probe();

    fresh_context();
    glColor4f(0.5f, 0.5f, 0.5f, 1);
    glNormal3f(0, 1, 0);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    body();
    glEndList();
    EXPECT_TRUE(webgl.draws.empty());
    const Gl1Vertex after_compile = probe();
    EXPECT_EQ(after_compile.color[0], 0.5f);
    EXPECT_EQ(after_compile.normal[1], 1.0f);

    glColor4f(0, 0, 0, 1);
    glTranslatef(3, 0, 0);
    webgl.draws.clear();
    glCallList(list);
    EXPECT_TRUE(webgl.draws == immediate);
    EXPECT_TRUE(probe() == left_by_immediate);
}

// Lists compiled after others were drawn, and a list compiled again, each
// draw their own vertices; new names skip the ones in use.
TEST_F(WebGl1, DisplayListsKeepTheirOwnRanges)
{
    const auto compile = [](GLuint name, GLenum mode, std::initializer_list<float> xs) {
        glNewList(name, GL_COMPILE);
        glBegin(mode);
        for (float x : xs)
            glVertex3f(x, 0, 0);
        glEnd();
        glEndList();
    };
    const auto drawn_xs = [](GLuint name) {
        webgl.draws.clear();
        glCallList(name);
        std::vector<float> xs;
        for (const RecordedDraw& draw : webgl.draws)
            for (const Gl1Vertex& v : draw.vertices)
                xs.push_back(v.position[0]);
        return xs;
    };
    const GLuint a = glGenLists(1);
    compile(a, GL_TRIANGLES, {1, 2, 3});
    EXPECT_EQ(drawn_xs(a), (std::vector<float>{1, 2, 3}));
    const GLuint b = glGenLists(1);
    compile(b, GL_LINES, {4, 5});
    EXPECT_EQ(drawn_xs(b), (std::vector<float>{4, 5}));
    glNewList(a, GL_COMPILE);
    glNewList(b, GL_COMPILE); // inside a list: ignored, b stays
    glBegin(GL_POINTS);
    glVertex3f(6, 0, 0);
    glEnd();
    glEndList();
    EXPECT_EQ(drawn_xs(a), (std::vector<float>{6}));
    EXPECT_EQ(drawn_xs(b), (std::vector<float>{4, 5}));
    EXPECT_TRUE(drawn_xs(99).empty());

    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    compile(5, GL_POINTS, {7});
    EXPECT_EQ(glGenLists(3), 6u); // 3 and 4 are too few, 5 is taken
    EXPECT_EQ(glGenLists(2), 3u);
    EXPECT_EQ(drawn_xs(5), (std::vector<float>{7}));
}

// A string of list bitmaps: one draw of a quad per glyph over exactly the
// pixels GL's glBitmap sets (lower left at the floor of the raster position
// less the origin), in the colour current at glRasterPos, the atlas holding
// the bitmap's rows as the unpack alignment lays them out; the raster
// position moves on by each advance, and outside the view nothing is drawn.
TEST_F(WebGl1, BitmapTextDrawsAtGlsPixelsInTheRasterColour)
{
    glMatrixMode(GL_PROJECTION);
    gluOrtho2D(0, 640, 0, 480);
    glMatrixMode(GL_MODELVIEW);
    // 10 × 2 bits, rows bottom first, 4 bytes a row at the default alignment.
    const GLubyte wide[] = {0x80, 0x40, 0xAA, 0xAA, 0xFF, 0xC0, 0xAA, 0xAA};
    const GLubyte dot[] = {0x80, 0, 0, 0};
    const GLuint base = glGenLists(256);
    glNewList(base + 'W', GL_COMPILE);
    glBitmap(10, 2, 1, 0, 12, 0, wide);
    glEndList();
    glNewList(base + '.', GL_COMPILE);
    glBitmap(1, 1, 0, 0, 4, 0, dot);
    glEndList();
    glListBase(base);

    glColor4f(1, 0, 0, 1);
    glRasterPos2f(20.5f, 30.5f);
    glColor4f(0, 1, 0, 1);
    glCallLists(3, GL_UNSIGNED_BYTE, "W.W");
    ASSERT_EQ(webgl.draws.size(), 1u);
    const std::vector<TextVertexRecord>& glyphs = webgl.draws[0].glyphs;
    ASSERT_EQ(glyphs.size(), 18u);
    const float lower_left_x[3] = {19, 32, 35}, red[4] = {1, 0, 0, 1};
    for (size_t q = 0; q < 3; ++q) {
        EXPECT_EQ(glyphs[q * 6].position[0], lower_left_x[q]) << "glyph " << q;
        EXPECT_EQ(glyphs[q * 6].position[1], 30.0f) << "glyph " << q;
        for (size_t k = 0; k < 6; ++k)
            EXPECT_EQ(std::memcmp(glyphs[q * 6 + k].color, red, sizeof red), 0);
    }
    const std::vector<uint8_t>* atlas = nullptr;
    for (const auto& [name, pixels] : webgl.textures)
        if (pixels.size() == 1024u * 1024u)
            atlas = &pixels;
    ASSERT_NE(atlas, nullptr);
    const char* rows[2] = {"#........#", "##########"};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x) {
            const size_t s = size_t(glyphs[0].texel[0]) + size_t(x), t = size_t(glyphs[0].texel[1]) + size_t(y);
            EXPECT_EQ((*atlas)[t * 1024 + s], rows[y][x] == '#' ? 255 : 0) << "bit " << x << ", row " << y;
        }

    glCallLists(1, GL_UNSIGNED_BYTE, ".");
    ASSERT_EQ(webgl.draws.size(), 2u);
    EXPECT_EQ(webgl.draws[1].glyphs.at(0).position[0], 48.0f);
    glRasterPos2f(-5, 30);
    glCallLists(1, GL_UNSIGNED_BYTE, ".");
    EXPECT_EQ(webgl.draws.size(), 2u);
}

// The light's direction is taken into eye space by the modelview of
// glLightfv, not of the draw; normals by the inverse transpose of the draw's
// modelview, so they stay square to surfaces it stretches; the scene's ambient
// 0.2 adds to the light's, and without GL_LIGHT1 only it is left.
TEST_F(WebGl1, LightingTakesTheLightAndNormalsIntoEyeSpace)
{
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
    const GLfloat ambient[4] = {0.1f, 0.2f, 0.3f, 1}, diffuse[4] = {0.5f, 0.6f, 0.7f, 1}, position[4] = {2, 0, 0, 0};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glRotatef(90, 0, 0, 1);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glLoadIdentity();
    glRotatef(30, 1, 2, 3);
    Matrix stretch = identity_matrix();
    stretch[0] = 2, stretch[5] = 1, stretch[10] = 0.5f, stretch[12] = 7;
    const Matrix modelview = multiply(translation(1, 2, 3), multiply(stretch, current(GL_MODELVIEW_MATRIX)));
    GLdouble load[16];
    std::copy(modelview.begin(), modelview.end(), load);
    glLoadMatrixd(load);
    probe();
    const auto& u = webgl.draws.back().uniforms;
    const std::vector<float> direction = u.at("u_light_direction"), n = u.at("u_normal_matrix");
    EXPECT_NEAR(direction[0], 0, 1e-6f);
    EXPECT_NEAR(direction[1], 1, 1e-6f);
    EXPECT_NEAR(direction[2], 0, 1e-6f);
    // A surface with normal (1, 2, 3) spanned by (2, -1, 0) and (3, 0, -1).
    float normal[3];
    for (int row = 0; row < 3; ++row)
        normal[row] = n[size_t(row)] + 2 * n[size_t(3 + row)] + 3 * n[size_t(6 + row)];
    for (const std::array<float, 3>& along : {std::array<float, 3>{2, -1, 0}, std::array<float, 3>{3, 0, -1}}) {
        const std::array<float, 4> t = transform(modelview, along[0], along[1], along[2], 0);
        EXPECT_NEAR(normal[0] * t[0] + normal[1] * t[1] + normal[2] * t[2], 0, 1e-5f);
    }
    const std::array<float, 4> outward = transform(modelview, 1, 2, 3, 0);
    EXPECT_GT(normal[0] * outward[0] + normal[1] * outward[1] + normal[2] * outward[2], 0);
    EXPECT_EQ(u.at("u_light_ambient"), (std::vector<float>{0.2f + 0.1f, 0.2f + 0.2f, 0.2f + 0.3f}));
    EXPECT_EQ(u.at("u_light_diffuse"), (std::vector<float>{0.5f, 0.6f, 0.7f}));
    glDisable(GL_LIGHT1);
    probe();
    EXPECT_EQ(webgl.draws.back().uniforms.at("u_light_ambient"), (std::vector<float>{0.2f, 0.2f, 0.2f}));
    EXPECT_EQ(webgl.draws.back().uniforms.at("u_light_diffuse"), (std::vector<float>{0, 0, 0}));
}
