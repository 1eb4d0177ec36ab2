// The WebGL 2 stand-in: the emscripten_gl* calls of webgl2.h, defined over
// plain records. Calls WebGL would reject (a draw past its buffer's end, a
// primitive WebGL does not know) are noted in webgl.faults.
#include "webgl_recorder.h"

#include "platform/web/webgl2.h"

#include <cstring>

WebglRecord webgl;

namespace {

struct VertexArray {
    GLuint buffer = 0; // the buffer its attributes read
    int stride = 0;    // bytes
};

struct State {
    GLuint next_name = 1;
    std::map<GLuint, std::vector<uint8_t>> buffers;
    std::map<GLuint, VertexArray> arrays;
    std::map<GLuint, std::string> shaders;                              // sources
    std::map<GLuint, std::string> programs;                             // attached sources
    std::map<GLuint, std::map<std::string, std::vector<float>>> values; // uniforms by program
    std::vector<std::string> uniform_names;                             // location - 1
    GLuint array_buffer = 0, vertex_array = 0, program = 0, active_unit = 0;
    GLuint texture1 = 0; // bound on unit 1
    WebglFixedState fixed;
};
State gl;

bool* capability(GLenum cap)
{
    switch (cap) {
    case GL_DEPTH_TEST: return &gl.fixed.depth_test;
    case GL_CULL_FACE: return &gl.fixed.cull_face;
    case GL_BLEND: return &gl.fixed.blend;
    default: return nullptr;
    }
}

GLuint& bound_texture() { return gl.active_unit ? gl.texture1 : gl.fixed.texture0; }

void set_uniform(GLint location, const GLfloat* values, int count)
{
    if (location <= 0 || size_t(location) > gl.uniform_names.size())
        return;
    gl.values[gl.program][gl.uniform_names[size_t(location - 1)]].assign(values, values + count);
}

template <typename Vertex>
std::vector<Vertex> read_vertices(const VertexArray& array, GLint first, GLsizei count)
{
    const std::vector<uint8_t>& bytes = gl.buffers[array.buffer];
    if (array.stride != int(sizeof(Vertex)) || size_t(first + count) * sizeof(Vertex) > bytes.size()) {
        webgl.faults.push_back("a draw reads past its buffer");
        return {};
    }
    std::vector<Vertex> out(static_cast<size_t>(count));
    std::memcpy(out.data(), bytes.data() + size_t(first) * sizeof(Vertex), out.size() * sizeof(Vertex));
    return out;
}

} // namespace

void webgl_reset()
{
    webgl = WebglRecord{};
    gl = State{};
}

std::array<float, 4> clip_position(const RecordedDraw& draw, size_t i)
{
    const std::vector<float>& values = draw.uniforms.at("u_modelview_projection");
    Matrix m;
    std::copy(values.begin(), values.end(), m.begin());
    const float* p = draw.vertices.at(i).position;
    return transform(m, p[0], p[1], p[2], 1.0f);
}

extern "C" {

void emscripten_glActiveTexture(GLenum texture) { gl.active_unit = texture - GL_TEXTURE0; }
void emscripten_glAttachShader(GLuint program, GLuint shader) { gl.programs[program] += gl.shaders[shader]; }
void emscripten_glBindAttribLocation(GLuint, GLuint, const GLchar*) {}
void emscripten_glBindBuffer(GLenum, GLuint buffer) { gl.array_buffer = buffer; }
void emscripten_glBindTexture(GLenum, GLuint texture) { bound_texture() = texture; }
void emscripten_glBindVertexArray(GLuint array) { gl.vertex_array = array; }

void emscripten_glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    gl.fixed.blend_source = sfactor;
    gl.fixed.blend_destination = dfactor;
}

void emscripten_glBufferData(GLenum, GLsizeiptr size, const void* data, GLenum)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    gl.buffers[gl.array_buffer].assign(bytes, bytes + size);
}

void emscripten_glClear(GLbitfield) {}
void emscripten_glCompileShader(GLuint) {}
GLuint emscripten_glCreateProgram() { return gl.next_name++; }
GLuint emscripten_glCreateShader(GLenum) { return gl.next_name++; }
void emscripten_glCullFace(GLenum mode) { gl.fixed.cull_face_mode = mode; }
void emscripten_glDepthFunc(GLenum func) { gl.fixed.depth_function = func; }

void emscripten_glDisable(GLenum cap)
{
    if (bool* flag = capability(cap))
        *flag = false;
}

void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count)
{
    if (mode > GL_TRIANGLE_FAN)
        webgl.faults.push_back("WebGL knows no primitive " + std::to_string(mode));
    const std::string& source = gl.programs[gl.program];
    RecordedDraw draw{};
    draw.mode = mode;
    draw.text = source.find("u_atlas") != std::string::npos;
    draw.lit = source.find("u_light_diffuse * facing") != std::string::npos;
    draw.textured = source.find("texture(u_texture") != std::string::npos;
    draw.flat = source.find("#define FLAT flat") != std::string::npos;
    const VertexArray& array = gl.arrays[gl.vertex_array];
    if (draw.text)
        draw.glyphs = read_vertices<TextVertexRecord>(array, first, count);
    else
        draw.vertices = read_vertices<Gl1Vertex>(array, first, count);
    draw.uniforms = gl.values[gl.program];
    draw.fixed = gl.fixed;
    webgl.draws.push_back(std::move(draw));
}

void emscripten_glEnable(GLenum cap)
{
    if (bool* flag = capability(cap))
        *flag = true;
}

void emscripten_glEnableVertexAttribArray(GLuint) {}

void emscripten_glGenBuffers(GLsizei n, GLuint* buffers)
{
    for (GLsizei i = 0; i < n; ++i)
        buffers[i] = gl.next_name++;
}

void emscripten_glGenTextures(GLsizei n, GLuint* textures) { emscripten_glGenBuffers(n, textures); }
void emscripten_glGenVertexArrays(GLsizei n, GLuint* arrays) { emscripten_glGenBuffers(n, arrays); }
void emscripten_glGenerateMipmap(GLenum) {}
void emscripten_glGetProgramInfoLog(GLuint, GLsizei, GLsizei*, GLchar*) {}
void emscripten_glGetProgramiv(GLuint, GLenum, GLint* params) { *params = 1; }
void emscripten_glGetShaderInfoLog(GLuint, GLsizei, GLsizei*, GLchar*) {}

GLint emscripten_glGetUniformLocation(GLuint, const GLchar* name)
{
    for (size_t i = 0; i < gl.uniform_names.size(); ++i)
        if (gl.uniform_names[i] == name)
            return GLint(i + 1);
    gl.uniform_names.emplace_back(name);
    return GLint(gl.uniform_names.size());
}

void emscripten_glLinkProgram(GLuint) {}
void emscripten_glPixelStorei(GLenum, GLint) {}
void emscripten_glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) {}

void emscripten_glShaderSource(GLuint shader, GLsizei count, const GLchar* const* string, const GLint*)
{
    for (GLsizei i = 0; i < count; ++i)
        gl.shaders[shader] += string[i];
}

// One byte a pixel (the text atlas) or four (the show's textures).
void emscripten_glTexImage2D(GLenum, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint,
                             GLenum, GLenum, const void* pixels)
{
    if (level != 0 || !pixels)
        return;
    const size_t bytes = size_t(width) * size_t(height) * (internalformat == GL_RGBA ? 4 : 1);
    const auto* data = static_cast<const uint8_t*>(pixels);
    webgl.textures[bound_texture()].assign(data, data + bytes);
}

void emscripten_glTexParameteri(GLenum, GLenum, GLint) {}

void emscripten_glUniform1i(GLint location, GLint v0)
{
    const float value = float(v0);
    set_uniform(location, &value, 1);
}

void emscripten_glUniform1f(GLint location, GLfloat v0) { set_uniform(location, &v0, 1); }

void emscripten_glUniform4f(GLint location, GLfloat v0, GLfloat v1, GLfloat v2, GLfloat v3)
{
    const float values[4] = {v0, v1, v2, v3};
    set_uniform(location, values, 4);
}

void emscripten_glUniform3fv(GLint location, GLsizei count, const GLfloat* value)
{
    set_uniform(location, value, 3 * count);
}

void emscripten_glUniform4fv(GLint location, GLsizei count, const GLfloat* value)
{
    set_uniform(location, value, 4 * count);
}

void emscripten_glUniformMatrix3fv(GLint location, GLsizei count, GLboolean, const GLfloat* value)
{
    set_uniform(location, value, 9 * count);
}

void emscripten_glUniformMatrix4fv(GLint location, GLsizei count, GLboolean, const GLfloat* value)
{
    set_uniform(location, value, 16 * count);
}

void emscripten_glUseProgram(GLuint program) { gl.program = program; }

void emscripten_glVertexAttribPointer(GLuint, GLint, GLenum, GLboolean, GLsizei stride, const void*)
{
    gl.arrays[gl.vertex_array] = {gl.array_buffer, stride};
}

void emscripten_glViewport(GLint, GLint, GLsizei, GLsizei) {}

} // extern "C"
