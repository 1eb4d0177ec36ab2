// GL 1.x over WebGL 2: vertices, display lists and the shader programs.
//
// glBegin/glEnd gathers vertices with the current colour, normal and texture
// coordinate; glEnd draws them at once from a stream buffer (quads as two
// triangles each, both ending on the quad's last vertex, which gives flat
// shading its colour as in GL). Inside glNewList/glEndList they go into one
// list buffer instead, and the list keeps the range; glCallList draws its
// ranges with the state of the moment. Main thread.
#include "platform/web/gl1_layer.h"
#include "platform/web/webgl2.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

namespace {

enum Attribute : GLuint { kPosition, kColor, kNormal, kTexcoord };

// A display list: what it draws, and the current attributes it leaves set.
struct ListOp {
    bool is_bitmap;
    GLenum mode;       // draw: WebGL primitive
    int first, count;  // draw: vertices in the list buffer
    Gl1Bitmap bitmap;  // bitmap: the glyph in the text atlas
};
struct DisplayList {
    bool reserved = false; // by glGenLists, or defined
    std::vector<ListOp> ops;
    bool sets_color = false, sets_normal = false, sets_texcoord = false;
    float color[4], normal[3], texcoord[2];
};

// A program for one combination of lighting, texturing, shading and alpha test.
struct Program {
    GLuint id = 0;
    GLint modelview_projection, normal_matrix, light_direction, light_ambient, light_diffuse, texture,
        alpha_reference;
};

// What WebGL has been told, so that a draw sends only what changed.
struct FixedState {
    bool depth_test, cull_face, blend;
    GLenum blend_source, blend_destination, depth_function, cull_face_mode;
};

std::vector<Gl1Vertex> gathered;        // between glBegin and glEnd
GLenum gathered_mode = 0;
bool inside_begin = false;
std::vector<DisplayList> lists;         // by list name
GLuint compiling = 0;                   // the list being recorded; 0 = none
Gl1Attributes attributes_before_list;   // compiling changes no current attribute
std::vector<Gl1Vertex> list_vertices;   // every list's vertices, in list_buffer
bool list_buffer_stale = false;         // list_vertices grew since the last upload
GLuint stream_buffer = 0, stream_array = 0, list_buffer = 0, list_array = 0;
Program programs[16];                   // by program_key
FixedState sent;

// The light is the scene's ambient light (0.2, GL's default) plus GL_LIGHT1.
constexpr float kSceneAmbient = 0.2f;

std::string vertex_source(bool lit, bool flat)
{
    std::string s = "#version 300 es\n";
    s += std::string("#define FLAT ") + (flat ? "flat" : "") + "\n";
    s += R"(uniform mat4 u_modelview_projection;
uniform mat3 u_normal_matrix;
uniform vec3 u_light_direction, u_light_ambient, u_light_diffuse;
in vec3 a_position;
in vec4 a_color;
in vec3 a_normal;
in vec2 a_texcoord;
FLAT out vec4 v_color;
out vec2 v_texcoord;
void main() {
    gl_Position = u_modelview_projection * vec4(a_position, 1.0);
    gl_PointSize = 1.0;
    v_texcoord = a_texcoord;
)";
    if (lit)
        s += R"(    float facing = max(dot(u_normal_matrix * a_normal, u_light_direction), 0.0);
    v_color = vec4(clamp(a_color.rgb * (u_light_ambient + u_light_diffuse * facing), 0.0, 1.0), a_color.a);
}
)";
    else
        s += "    v_color = a_color;\n}\n";
    return s;
}

std::string fragment_source(bool textured, bool flat, bool alpha_test)
{
    std::string s = "#version 300 es\nprecision highp float;\n";
    s += std::string("#define FLAT ") + (flat ? "flat" : "") + "\n";
    s += R"(uniform sampler2D u_texture;
uniform float u_alpha_reference;
FLAT in vec4 v_color;
in vec2 v_texcoord;
out vec4 o_color;
void main() {
)";
    s += textured ? "    o_color = v_color * texture(u_texture, v_texcoord);\n" : "    o_color = v_color;\n";
    if (alpha_test)
        s += "    if (o_color.a < u_alpha_reference)\n        discard;\n";
    return s + "}\n";
}

int program_key(bool lit, bool textured, bool flat, bool alpha_test)
{
    return (alpha_test ? 8 : 0) | (lit ? 4 : 0) | (textured ? 2 : 0) | (flat ? 1 : 0);
}

GLuint compile_shader(GLenum kind, const std::string& source)
{
    const GLuint shader = emscripten_glCreateShader(kind);
    const char* text = source.c_str();
    emscripten_glShaderSource(shader, 1, &text, nullptr);
    emscripten_glCompileShader(shader);
    return shader;
}

Program& program_for(bool lit, bool textured, bool flat, bool alpha_test)
{
    Program& p = programs[program_key(lit, textured, flat, alpha_test)];
    if (p.id)
        return p;
    p.id = emscripten_glCreateProgram();
    emscripten_glAttachShader(p.id, compile_shader(GL_VERTEX_SHADER, vertex_source(lit, flat)));
    emscripten_glAttachShader(p.id, compile_shader(GL_FRAGMENT_SHADER, fragment_source(textured, flat, alpha_test)));
    emscripten_glBindAttribLocation(p.id, kPosition, "a_position");
    emscripten_glBindAttribLocation(p.id, kColor, "a_color");
    emscripten_glBindAttribLocation(p.id, kNormal, "a_normal");
    emscripten_glBindAttribLocation(p.id, kTexcoord, "a_texcoord");
    emscripten_glLinkProgram(p.id);
    GLint linked = 0;
    emscripten_glGetProgramiv(p.id, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[1024] = "";
        emscripten_glGetProgramInfoLog(p.id, sizeof log, nullptr, log);
        std::fprintf(stderr, "invitation: a GL 1.x state's program does not link: %s\n", log);
    }
    p.modelview_projection = emscripten_glGetUniformLocation(p.id, "u_modelview_projection");
    p.normal_matrix = emscripten_glGetUniformLocation(p.id, "u_normal_matrix");
    p.light_direction = emscripten_glGetUniformLocation(p.id, "u_light_direction");
    p.light_ambient = emscripten_glGetUniformLocation(p.id, "u_light_ambient");
    p.light_diffuse = emscripten_glGetUniformLocation(p.id, "u_light_diffuse");
    p.texture = emscripten_glGetUniformLocation(p.id, "u_texture");
    p.alpha_reference = emscripten_glGetUniformLocation(p.id, "u_alpha_reference");
    return p;
}

// A vertex array reading Gl1Vertex records from buffer.
void make_vertex_array(GLuint& array, GLuint& buffer)
{
    emscripten_glGenVertexArrays(1, &array);
    emscripten_glGenBuffers(1, &buffer);
    emscripten_glBindVertexArray(array);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const GLsizei stride = sizeof(Gl1Vertex);
    emscripten_glVertexAttribPointer(kPosition, 3, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(Gl1Vertex, position)));
    emscripten_glVertexAttribPointer(kColor, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(Gl1Vertex, color)));
    emscripten_glVertexAttribPointer(kNormal, 3, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(Gl1Vertex, normal)));
    emscripten_glVertexAttribPointer(kTexcoord, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void*>(offsetof(Gl1Vertex, texcoord)));
    for (GLuint a : {kPosition, kColor, kNormal, kTexcoord})
        emscripten_glEnableVertexAttribArray(a);
    emscripten_glBindVertexArray(0);
}

void set_capability(GLenum cap, bool wanted, bool& sent_value)
{
    if (wanted == sent_value)
        return;
    wanted ? emscripten_glEnable(cap) : emscripten_glDisable(cap);
    sent_value = wanted;
}

// The normal matrix: the inverse transpose of the modelview's upper 3 × 3.
void normal_matrix(const Matrix& m, float* out)
{
    const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    const float s = det != 0 ? 1.0f / det : 0.0f;
    // Column-major: column k is row k of the inverse.
    out[0] = (e * i - f * h) * s, out[3] = (f * g - d * i) * s, out[6] = (d * h - e * g) * s;
    out[1] = (c * h - b * i) * s, out[4] = (a * i - c * g) * s, out[7] = (b * g - a * h) * s;
    out[2] = (b * f - c * e) * s, out[5] = (c * d - a * f) * s, out[8] = (a * e - b * d) * s;
}

void draw_vertices(GLuint array, GLenum mode, int first, int count)
{
    if (count <= 0 || !gl1_drawing)
        return;
    const Gl1Attributes& a = gl1.attributes;
    const bool lit = a.lighting;
    const bool textured = a.texture_2d && a.texture != 0;
    Program& p = program_for(lit, textured, a.flat_shading, a.alpha_test);
    apply_fixed_state();
    emscripten_glUseProgram(p.id);
    // One matrix, multiplied here in single precision, as GL drivers do.
    const Matrix modelview_projection = multiply(gl1.projection.back(), gl1.modelview.back());
    emscripten_glUniformMatrix4fv(p.modelview_projection, 1, GL_FALSE, modelview_projection.data());
    if (lit) {
        float normals[9];
        normal_matrix(gl1.modelview.back(), normals);
        float ambient[3], diffuse[3];
        for (int k = 0; k < 3; ++k) {
            ambient[k] = kSceneAmbient + (a.light1 ? a.light_ambient[k] : 0.0f);
            diffuse[k] = a.light1 ? a.light_diffuse[k] : 0.0f;
        }
        emscripten_glUniformMatrix3fv(p.normal_matrix, 1, GL_FALSE, normals);
        emscripten_glUniform3fv(p.light_direction, 1, a.light_direction);
        emscripten_glUniform3fv(p.light_ambient, 1, ambient);
        emscripten_glUniform3fv(p.light_diffuse, 1, diffuse);
    }
    if (textured)
        emscripten_glUniform1i(p.texture, 0);
    if (a.alpha_test)
        emscripten_glUniform1f(p.alpha_reference, a.alpha_reference);
    emscripten_glBindVertexArray(array);
    emscripten_glDrawArrays(mode, first, count);
    emscripten_glBindVertexArray(0);
}

// GL's primitive as WebGL draws it; quads become triangle pairs.
GLenum append_primitives(GLenum mode, const std::vector<Gl1Vertex>& in, std::vector<Gl1Vertex>& out)
{
    if (mode != GL_QUADS) {
        out.insert(out.end(), in.begin(), in.end());
        return mode;
    }
    for (size_t q = 0; q + 3 < in.size(); q += 4)
        for (size_t k : {q, q + 1, q + 3, q + 1, q + 2, q + 3})
            out.push_back(in[k]);
    return GL_TRIANGLES;
}

// GL_LINES wider than a pixel as quads, line_width window pixels across,
// each segment drawn with its ends' colours. The corners go out already
// projected (normalised device coordinates), to be drawn with identity
// matrices. The show's wide lines are flat 2D ones (w = 1).
GLenum append_wide_lines(const std::vector<Gl1Vertex>& in, std::vector<Gl1Vertex>& out)
{
    const Matrix mvp = multiply(gl1.projection.back(), gl1.modelview.back());
    const float half_x = gl1.line_width / float(gl1.viewport[2]), half_y = gl1.line_width / float(gl1.viewport[3]);
    for (size_t k = 0; k + 1 < in.size(); k += 2) {
        Gl1Vertex ends[2] = {in[k], in[k + 1]};
        for (Gl1Vertex& v : ends) {
            const std::array<float, 4> clip = transform(mvp, v.position[0], v.position[1], v.position[2], 1);
            for (int c = 0; c < 3; ++c)
                v.position[c] = clip[size_t(c)] / clip[3];
        }
        // The segment's direction in window pixels, and a half width across it.
        const float dx = (ends[1].position[0] - ends[0].position[0]) * float(gl1.viewport[2]);
        const float dy = (ends[1].position[1] - ends[0].position[1]) * float(gl1.viewport[3]);
        const float length = std::sqrt(dx * dx + dy * dy);
        if (length == 0)
            continue;
        const float across_x = -dy / length * half_x, across_y = dx / length * half_y;
        Gl1Vertex corners[4] = {ends[0], ends[0], ends[1], ends[1]};
        corners[0].position[0] -= across_x, corners[0].position[1] -= across_y;
        corners[1].position[0] += across_x, corners[1].position[1] += across_y;
        corners[2].position[0] += across_x, corners[2].position[1] += across_y;
        corners[3].position[0] -= across_x, corners[3].position[1] -= across_y;
        for (int c : {0, 1, 3, 1, 2, 3})
            out.push_back(corners[c]);
    }
    return GL_TRIANGLES;
}

DisplayList* find_list(GLuint name) { return name < lists.size() ? &lists[name] : nullptr; }

void call_list(GLuint name)
{
    DisplayList* list = find_list(name);
    if (!list)
        return;
    if (list_buffer_stale) {
        emscripten_glBindBuffer(GL_ARRAY_BUFFER, list_buffer);
        emscripten_glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(list_vertices.size() * sizeof(Gl1Vertex)),
                                list_vertices.data(), GL_STATIC_DRAW);
        list_buffer_stale = false;
    }
    for (const ListOp& op : list->ops) {
        if (op.is_bitmap) {
            queue_bitmap(op.bitmap);
        } else {
            gl1_flush_text();
            draw_vertices(list_array, op.mode, op.first, op.count);
        }
    }
    Gl1Attributes& a = gl1.attributes;
    if (list->sets_color)
        std::copy(list->color, list->color + 4, a.color);
    if (list->sets_normal)
        std::copy(list->normal, list->normal + 3, a.normal);
    if (list->sets_texcoord)
        std::copy(list->texcoord, list->texcoord + 2, a.texcoord);
}

} // namespace

void apply_fixed_state()
{
    const Gl1Attributes& a = gl1.attributes;
    set_capability(GL_DEPTH_TEST, a.depth_test, sent.depth_test);
    set_capability(GL_CULL_FACE, a.cull_face, sent.cull_face);
    set_capability(GL_BLEND, a.blend, sent.blend);
    if (a.blend_source != sent.blend_source || a.blend_destination != sent.blend_destination) {
        emscripten_glBlendFunc(a.blend_source, a.blend_destination);
        sent.blend_source = a.blend_source;
        sent.blend_destination = a.blend_destination;
    }
    if (a.depth_function != sent.depth_function)
        emscripten_glDepthFunc(sent.depth_function = a.depth_function);
    if (a.cull_face_mode != sent.cull_face_mode)
        emscripten_glCullFace(sent.cull_face_mode = a.cull_face_mode);
}

void record_bitmap(const Gl1Bitmap& bitmap)
{
    if (compiling && compiling < lists.size())
        lists[compiling].ops.push_back({true, 0, 0, 0, bitmap});
    else {
        queue_bitmap(bitmap);
        gl1_flush_text();
    }
}

bool gl1_drawing = true;

void gl1_set_drawing(bool on) { gl1_drawing = on; }

void gl1_context_created(int width, int height)
{
    gl1 = Gl1Layer{};
    gl1.modelview = {identity_matrix()};
    gl1.projection = {identity_matrix()};
    lists.clear();
    list_vertices.clear();
    list_buffer_stale = false;
    compiling = 0;
    inside_begin = false;
    for (Program& p : programs)
        p = Program{};
    // WebGL's own defaults.
    sent = {false, false, false, GL_ONE, GL_ZERO, GL_LESS, GL_BACK};
    emscripten_glDisable(GL_DITHER);
    make_vertex_array(stream_array, stream_buffer);
    make_vertex_array(list_array, list_buffer);
    reset_text();
    glViewport(0, 0, width, height);
}

extern "C" {

void glBegin(GLenum mode)
{
    gathered.clear();
    gathered_mode = mode;
    inside_begin = true;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!inside_begin)
        return;
    const Gl1Attributes& a = gl1.attributes;
    gathered.push_back({{x, y, z},
                        {a.color[0], a.color[1], a.color[2], a.color[3]},
                        {a.normal[0], a.normal[1], a.normal[2]},
                        {a.texcoord[0], a.texcoord[1]}});
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0.0f); }

void glEnd()
{
    if (!inside_begin)
        return;
    inside_begin = false;
    if (compiling && compiling < lists.size()) {
        const int first = int(list_vertices.size());
        const GLenum mode = append_primitives(gathered_mode, gathered, list_vertices);
        lists[compiling].ops.push_back({false, mode, first, int(list_vertices.size()) - first, {}});
        list_buffer_stale = true;
        return;
    }
    if (!gl1_drawing)
        return;
    static std::vector<Gl1Vertex> primitives;
    primitives.clear();
    const bool wide_lines = gathered_mode == GL_LINES && gl1.line_width > 1;
    const GLenum mode =
        wide_lines ? append_wide_lines(gathered, primitives) : append_primitives(gathered_mode, gathered, primitives);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, stream_buffer);
    emscripten_glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(primitives.size() * sizeof(Gl1Vertex)), primitives.data(),
                            GL_STREAM_DRAW);
    if (!wide_lines) {
        draw_vertices(stream_array, mode, 0, int(primitives.size()));
        return;
    }
    const Matrix projection = gl1.projection.back(), modelview = gl1.modelview.back();
    gl1.projection.back() = gl1.modelview.back() = identity_matrix();
    draw_vertices(stream_array, mode, 0, int(primitives.size()));
    gl1.projection.back() = projection;
    gl1.modelview.back() = modelview;
}

GLuint glGenLists(GLsizei range)
{
    if (range <= 0)
        return 0;
    // The first run of range names from 1 that nothing holds.
    GLuint first = 1;
    for (GLuint name = 1; name < first + GLuint(range); ++name)
        if (name < lists.size() && lists[name].reserved)
            first = name + 1;
    if (lists.size() < first + GLuint(range))
        lists.resize(first + GLuint(range));
    for (GLuint name = first; name < first + GLuint(range); ++name)
        lists[name].reserved = true;
    return first;
}

// Only GL_COMPILE: the calls are recorded, and the current attributes they
// set are put back at glEndList.
void glNewList(GLuint name, GLenum)
{
    if (name == 0 || compiling)
        return;
    if (lists.size() <= name)
        lists.resize(name + 1);
    lists[name] = DisplayList{};
    lists[name].reserved = true;
    compiling = name;
    attributes_before_list = gl1.attributes;
    gl1.set_color = gl1.set_normal = gl1.set_texcoord = false;
}

void glEndList()
{
    if (!compiling)
        return;
    DisplayList& list = lists[compiling];
    Gl1Attributes& a = gl1.attributes;
    list.sets_color = gl1.set_color;
    list.sets_normal = gl1.set_normal;
    list.sets_texcoord = gl1.set_texcoord;
    std::copy(a.color, a.color + 4, list.color);
    std::copy(a.normal, a.normal + 3, list.normal);
    std::copy(a.texcoord, a.texcoord + 2, list.texcoord);
    a = attributes_before_list;
    compiling = 0;
}

void glCallList(GLuint name)
{
    call_list(name);
    gl1_flush_text();
}

// The show calls lists by the bytes of its strings.
void glCallLists(GLsizei count, GLenum type, const void* names)
{
    if (type != GL_UNSIGNED_BYTE)
        return;
    const auto* bytes = static_cast<const GLubyte*>(names);
    for (GLsizei i = 0; i < count; ++i)
        call_list(gl1.attributes.list_base + bytes[i]);
    gl1_flush_text();
}

void glListBase(GLuint base) { gl1.attributes.list_base = base; }

} // extern "C"
