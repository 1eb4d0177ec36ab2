// GL 1.x over WebGL 2: glRasterPos and glBitmap. Every bitmap the show puts
// in a display list (the font's glyphs) is copied into one atlas texture,
// one byte a pixel; drawing a bitmap is a quad over exactly the pixels GL's
// glBitmap would write, which takes its pixel from the atlas and keeps the
// fragments of the set bits in the raster colour. The quads of a string are
// drawn together. Main thread.
#include "platform/web/gl1_layer.h"
#include "platform/web/webgl2.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kAtlasWidth = 1024;
constexpr int kAtlasHeight = 1024;

struct TextVertex {
    float position[2]; // window pixels
    float texel[2];    // atlas pixels
    float color[4];
};

std::vector<uint8_t> atlas(size_t(kAtlasWidth) * kAtlasHeight); // 255 where a bit is set
int shelf_x = 0, shelf_y = 0, shelf_height = 0;                     // where the next bitmap goes
bool atlas_stale = false;                                           // grew since the last upload
std::vector<TextVertex> quads;                                      // waiting for gl1_flush_text
GLuint atlas_texture = 0, program = 0, vertex_array = 0, vertex_buffer = 0;
GLint viewport_uniform = -1, atlas_uniform = -1;

constexpr const char* kVertexSource = R"(#version 300 es
uniform vec4 u_viewport;
in vec2 a_position;
in vec2 a_texel;
in vec4 a_color;
out vec2 v_texel;
flat out vec4 v_color;
void main() {
    gl_Position = vec4((a_position - u_viewport.xy) / u_viewport.zw * 2.0 - 1.0, 0.0, 1.0);
    v_texel = a_texel;
    v_color = a_color;
}
)";

constexpr const char* kFragmentSource = R"(#version 300 es
precision highp float;
uniform highp sampler2D u_atlas;
in vec2 v_texel;
flat in vec4 v_color;
out vec4 o_color;
void main() {
    if (texelFetch(u_atlas, ivec2(v_texel), 0).r < 0.5)
        discard;
    o_color = v_color;
}
)";

GLuint compile(GLenum kind, const char* source)
{
    const GLuint shader = emscripten_glCreateShader(kind);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    return shader;
}

void make_program()
{
    program = emscripten_glCreateProgram();
    emscripten_glAttachShader(program, compile(GL_VERTEX_SHADER, kVertexSource));
    emscripten_glAttachShader(program, compile(GL_FRAGMENT_SHADER, kFragmentSource));
    emscripten_glBindAttribLocation(program, 0, "a_position");
    emscripten_glBindAttribLocation(program, 1, "a_texel");
    emscripten_glBindAttribLocation(program, 2, "a_color");
    emscripten_glLinkProgram(program);
    viewport_uniform = emscripten_glGetUniformLocation(program, "u_viewport");
    atlas_uniform = emscripten_glGetUniformLocation(program, "u_atlas");

    emscripten_glGenVertexArrays(1, &vertex_array);
    emscripten_glGenBuffers(1, &vertex_buffer);
    emscripten_glBindVertexArray(vertex_array);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    const GLsizei stride = sizeof(TextVertex);
    emscripten_glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(TextVertex, position)));
    emscripten_glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(TextVertex, texel)));
    emscripten_glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(TextVertex, color)));
    for (GLuint a = 0; a < 3; ++a)
        emscripten_glEnableVertexAttribArray(a);
    emscripten_glBindVertexArray(0);

    emscripten_glGenTextures(1, &atlas_texture);
}

// The atlas on texture unit 1, so the show's own binding on unit 0 stays.
void upload_atlas()
{
    emscripten_glActiveTexture(GL_TEXTURE1);
    emscripten_glBindTexture(GL_TEXTURE_2D, atlas_texture);
    if (atlas_stale) {
        emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, kAtlasWidth, kAtlasHeight, 0, GL_RED, GL_UNSIGNED_BYTE,
                                atlas.data());
        emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl1.unpack_alignment);
        emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        atlas_stale = false;
    }
    emscripten_glActiveTexture(GL_TEXTURE0);
}

} // namespace

Gl1Bitmap add_bitmap_to_atlas(int width, int height, float x_origin, float y_origin, float x_move, float y_move,
                              const uint8_t* rows, int row_bytes)
{
    if (shelf_x + width > kAtlasWidth) {
        shelf_x = 0;
        shelf_y += shelf_height;
        shelf_height = 0;
    }
    Gl1Bitmap bitmap{width, height, x_origin, y_origin, x_move, y_move, shelf_x, shelf_y};
    if (width <= 0 || height <= 0 || width > kAtlasWidth || shelf_y + height > kAtlasHeight) {
        bitmap.width = bitmap.height = 0; // draws nothing, still advances
        return bitmap;
    }
    // Rows bottom first, the leftmost pixel in each byte's highest bit.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool set = rows[y * row_bytes + x / 8] & (0x80 >> (x % 8));
            atlas[size_t(shelf_y + y) * kAtlasWidth + size_t(shelf_x + x)] = set ? 255 : 0;
        }
    shelf_x += width + 1;
    if (height > shelf_height)
        shelf_height = height + 1;
    atlas_stale = true;
    return bitmap;
}

void queue_bitmap(const Gl1Bitmap& b)
{
    RasterPosition& raster = gl1.attributes.raster;
    if (!raster.valid)
        return;
    if (b.width > 0) {
        // GL's own rule: the lower left pixel is the floor of the raster
        // position less the origin, nudged so that exact halves stay put.
        constexpr float kEpsilon = 0.0001f;
        const float x0 = std::floor(raster.x + kEpsilon - b.x_origin);
        const float y0 = std::floor(raster.y + kEpsilon - b.y_origin);
        const float x1 = x0 + float(b.width), y1 = y0 + float(b.height);
        const float s0 = float(b.atlas_x), t0 = float(b.atlas_y);
        const float s1 = s0 + float(b.width), t1 = t0 + float(b.height);
        const float* c = raster.color;
        const TextVertex corners[4] = {{{x0, y0}, {s0, t0}, {c[0], c[1], c[2], c[3]}},
                                       {{x1, y0}, {s1, t0}, {c[0], c[1], c[2], c[3]}},
                                       {{x1, y1}, {s1, t1}, {c[0], c[1], c[2], c[3]}},
                                       {{x0, y1}, {s0, t1}, {c[0], c[1], c[2], c[3]}}};
        for (int k : {0, 1, 3, 1, 2, 3})
            quads.push_back(corners[k]);
    }
    raster.x += b.x_move;
    raster.y += b.y_move;
}

void gl1_flush_text()
{
    if (!gl1_drawing)
        quads.clear();
    if (quads.empty())
        return;
    if (!program)
        make_program();
    upload_atlas();
    apply_fixed_state();
    emscripten_glUseProgram(program);
    emscripten_glUniform4f(viewport_uniform, float(gl1.viewport[0]), float(gl1.viewport[1]), float(gl1.viewport[2]),
                           float(gl1.viewport[3]));
    emscripten_glUniform1i(atlas_uniform, 1);
    emscripten_glBindVertexArray(vertex_array);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    emscripten_glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(quads.size() * sizeof(TextVertex)), quads.data(),
                            GL_STREAM_DRAW);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, GLsizei(quads.size()));
    emscripten_glBindVertexArray(0);
    quads.clear();
}

void reset_text()
{
    std::fill(atlas.begin(), atlas.end(), 0);
    shelf_x = shelf_y = shelf_height = 0;
    atlas_stale = false;
    quads.clear();
    program = atlas_texture = vertex_array = vertex_buffer = 0;
}

extern "C" {

// The raster position takes the current colour; it is valid when the point
// lies inside the view volume.
void glRasterPos2f(GLfloat x, GLfloat y)
{
    Gl1Attributes& a = gl1.attributes;
    const std::array<float, 4> eye = transform(gl1.modelview.back(), x, y, 0, 1);
    const std::array<float, 4> clip = transform(gl1.projection.back(), eye[0], eye[1], eye[2], eye[3]);
    const float w = clip[3];
    a.raster.valid = w > 0 && std::fabs(clip[0]) <= w && std::fabs(clip[1]) <= w && std::fabs(clip[2]) <= w;
    if (!a.raster.valid)
        return;
    const int* v = gl1.viewport;
    a.raster.x = float(v[0]) + (clip[0] / w + 1.0f) * float(v[2]) / 2.0f;
    a.raster.y = float(v[1]) + (clip[1] / w + 1.0f) * float(v[3]) / 2.0f;
    std::copy(a.color, a.color + 4, a.raster.color);
}

void glBitmap(GLsizei width, GLsizei height, GLfloat x_origin, GLfloat y_origin, GLfloat x_move, GLfloat y_move,
              const GLubyte* bitmap)
{
    const int align = gl1.unpack_alignment > 0 ? gl1.unpack_alignment : 1;
    const int row_bytes = ((width + 7) / 8 + align - 1) / align * align;
    record_bitmap(add_bitmap_to_atlas(width, height, x_origin, y_origin, x_move, y_move, bitmap, row_bytes));
}

} // extern "C"
