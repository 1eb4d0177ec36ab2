// GL 1.x over WebGL 2: the state calls. Enables, functions, the light and the
// current vertex attributes are kept here and sent to WebGL only when a draw
// needs them (gl1_draw.cpp); matrices follow GL's and GLU's own formulas in
// single precision, so the show's matrices come out as a desktop driver's do.
// Main thread.
#include "platform/web/gl1_layer.h"
#include "platform/web/webgl2.h"

#include <GL/glu.h>

#include <cmath>

Gl1Layer gl1;

namespace {

void normalize3(float* v)
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

void cross3(const float* a, const float* b, float* out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void multiply_current(const Matrix& m) { current_matrix() = multiply(current_matrix(), m); }

bool* enable_flag(GLenum cap)
{
    Gl1Attributes& a = gl1.attributes;
    switch (cap) {
    case GL_DEPTH_TEST: return &a.depth_test;
    case GL_CULL_FACE: return &a.cull_face;
    case GL_BLEND: return &a.blend;
    case GL_TEXTURE_2D: return &a.texture_2d;
    case GL_LIGHTING: return &a.lighting;
    case GL_LIGHT1: return &a.light1;
    case GL_COLOR_MATERIAL: return &a.color_material;
    case GL_ALPHA_TEST: return &a.alpha_test;
    default: return nullptr;
    }
}

} // namespace

Matrix identity_matrix() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix product;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a[k * 4 + row] * b[column * 4 + k];
            product[column * 4 + row] = sum;
        }
    return product;
}

std::array<float, 4> transform(const Matrix& m, float x, float y, float z, float w)
{
    std::array<float, 4> out;
    for (int row = 0; row < 4; ++row)
        out[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row] * w;
    return out;
}

Matrix& current_matrix()
{
    return gl1.attributes.matrix_mode == GL_PROJECTION ? gl1.projection.back() : gl1.modelview.back();
}

extern "C" {

void glEnable(GLenum cap)
{
    if (bool* flag = enable_flag(cap))
        *flag = true;
}

void glDisable(GLenum cap)
{
    if (bool* flag = enable_flag(cap))
        *flag = false;
}

void glBlendFunc(GLenum source, GLenum destination)
{
    gl1.attributes.blend_source = source;
    gl1.attributes.blend_destination = destination;
}

void glDepthFunc(GLenum function) { gl1.attributes.depth_function = function; }
void glCullFace(GLenum mode) { gl1.attributes.cull_face_mode = mode; }
void glShadeModel(GLenum mode) { gl1.attributes.flat_shading = mode == GL_FLAT; }

// The show draws no points of its own; they stay one pixel.
void glPointSize(GLfloat) {}

void glLineWidth(GLfloat width) { gl1.line_width = width; }

// The show only keeps fragments at or above a reference.
void glAlphaFunc(GLenum, GLclampf reference) { gl1.attributes.alpha_reference = reference; }

// Colour material is always ambient and diffuse from the current colour.
void glColorMaterial(GLenum, GLenum) {}

void glLightfv(GLenum light, GLenum name, const GLfloat* values)
{
    if (light != GL_LIGHT1)
        return;
    Gl1Attributes& a = gl1.attributes;
    if (name == GL_AMBIENT || name == GL_DIFFUSE) {
        float* target = name == GL_AMBIENT ? a.light_ambient : a.light_diffuse;
        for (int i = 0; i < 4; ++i)
            target[i] = values[i];
    } else if (name == GL_POSITION) {
        // Taken into eye space by the modelview of the moment; the show's
        // light is directional (w = 0).
        const std::array<float, 4> eye = transform(gl1.modelview.back(), values[0], values[1], values[2], values[3]);
        for (int i = 0; i < 3; ++i)
            a.light_direction[i] = eye[size_t(i)];
        normalize3(a.light_direction);
    }
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat alpha)
{
    float* c = gl1.attributes.color;
    c[0] = r, c[1] = g, c[2] = b, c[3] = alpha;
    gl1.set_color = true;
}

void glColor3ub(GLubyte r, GLubyte g, GLubyte b)
{
    glColor4f(float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f, 1.0f);
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    float* n = gl1.attributes.normal;
    n[0] = x, n[1] = y, n[2] = z;
    gl1.set_normal = true;
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    gl1.attributes.texcoord[0] = s;
    gl1.attributes.texcoord[1] = t;
    gl1.set_texcoord = true;
}

void glPushAttrib(GLbitfield) { gl1.attribute_stack.push_back(gl1.attributes); }

void glPopAttrib()
{
    if (gl1.attribute_stack.empty())
        return;
    const GLuint texture = gl1.attributes.texture;
    gl1.attributes = gl1.attribute_stack.back();
    gl1.attribute_stack.pop_back();
    if (gl1.attributes.texture != texture)
        emscripten_glBindTexture(GL_TEXTURE_2D, gl1.attributes.texture);
}

void glPixelStorei(GLenum name, GLint value)
{
    if (name == GL_UNPACK_ALIGNMENT)
        gl1.unpack_alignment = value;
    // Row length, skips and bit order: the show only ever sets their defaults.
    if (name == GL_UNPACK_ALIGNMENT || name == GL_PACK_ALIGNMENT)
        emscripten_glPixelStorei(name, value);
}

void glPushClientAttrib(GLbitfield) { gl1.client_stack.push_back(gl1.unpack_alignment); }

void glPopClientAttrib()
{
    if (gl1.client_stack.empty())
        return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, gl1.client_stack.back());
    gl1.client_stack.pop_back();
}

void glMatrixMode(GLenum mode) { gl1.attributes.matrix_mode = mode; }
void glLoadIdentity() { current_matrix() = identity_matrix(); }

void glPushMatrix()
{
    std::vector<Matrix>& stack = gl1.attributes.matrix_mode == GL_PROJECTION ? gl1.projection : gl1.modelview;
    stack.push_back(stack.back());
}

void glPopMatrix()
{
    std::vector<Matrix>& stack = gl1.attributes.matrix_mode == GL_PROJECTION ? gl1.projection : gl1.modelview;
    if (stack.size() > 1)
        stack.pop_back();
}

void glLoadMatrixd(const GLdouble* m)
{
    Matrix& target = current_matrix();
    for (int i = 0; i < 16; ++i)
        target[size_t(i)] = float(m[i]);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    Matrix& m = current_matrix();
    for (int row = 0; row < 4; ++row)
        m[size_t(12 + row)] += m[size_t(row)] * x + m[size_t(4 + row)] * y + m[size_t(8 + row)] * z;
}

// As GL drivers build it: sine and cosine in double precision, and the
// rotations about one axis written out, so that they stay exact.
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    const float s = float(std::sin(double(angle) * M_PI / 180.0));
    const float c = float(std::cos(double(angle) * M_PI / 180.0));
    Matrix m = identity_matrix();
    if (x == 0 && y == 0 && z != 0) {
        m[0] = c, m[5] = c;
        m[1] = z < 0 ? -s : s;
        m[4] = -m[1];
    } else if (x == 0 && z == 0 && y != 0) {
        m[0] = c, m[10] = c;
        m[8] = y < 0 ? -s : s;
        m[2] = -m[8];
    } else if (y == 0 && z == 0 && x != 0) {
        m[5] = c, m[10] = c;
        m[6] = x < 0 ? -s : s;
        m[9] = -m[6];
    } else {
        float axis[3] = {x, y, z};
        normalize3(axis);
        const float one_c = 1 - c;
        const float ax = axis[0], ay = axis[1], az = axis[2];
        m[0] = ax * ax * one_c + c, m[4] = ax * ay * one_c - az * s, m[8] = ax * az * one_c + ay * s;
        m[1] = ay * ax * one_c + az * s, m[5] = ay * ay * one_c + c, m[9] = ay * az * one_c - ax * s;
        m[2] = ax * az * one_c - ay * s, m[6] = ay * az * one_c + ax * s, m[10] = az * az * one_c + c;
    }
    multiply_current(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near, GLdouble far)
{
    const float l = float(left), r = float(right), b = float(bottom), t = float(top);
    const float n = float(near), f = float(far);
    Matrix m = identity_matrix();
    m[0] = 2.0f / (r - l);
    m[5] = 2.0f / (t - b);
    m[10] = -2.0f / (f - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(f + n) / (f - n);
    multiply_current(m);
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near, GLdouble far)
{
    const float l = float(left), r = float(right), b = float(bottom), t = float(top);
    const float n = float(near), f = float(far);
    Matrix m = {};
    m[0] = 2.0f * n / (r - l);
    m[5] = 2.0f * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -1.0f;
    m[14] = -(2.0f * f * n) / (f - n);
    multiply_current(m);
}

void glGetDoublev(GLenum name, GLdouble* values)
{
    const Matrix& m = name == GL_PROJECTION_MATRIX ? gl1.projection.back() : gl1.modelview.back();
    for (int i = 0; i < 16; ++i)
        values[i] = m[size_t(i)];
}

void glGetIntegerv(GLenum name, GLint* values)
{
    if (name == GL_LIST_BASE)
        values[0] = GLint(gl1.attributes.list_base);
    else if (name == GL_VIEWPORT)
        for (int i = 0; i < 4; ++i)
            values[i] = gl1.viewport[i];
    else if (name == GL_MATRIX_MODE)
        values[0] = GLint(gl1.attributes.matrix_mode);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    gl1.viewport[0] = x, gl1.viewport[1] = y, gl1.viewport[2] = width, gl1.viewport[3] = height;
    emscripten_glViewport(x, y, width, height);
}

void glClear(GLbitfield mask)
{
    if (gl1_drawing)
        emscripten_glClear(mask);
}
// WebGL's finish need not wait; reading a pixel back does, for everything
// drawn before it.
void glFinish()
{
    uint8_t pixel[4];
    emscripten_glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels)
{
    emscripten_glReadPixels(x, y, width, height, format, type, pixels);
}

void glGenTextures(GLsizei count, GLuint* names) { emscripten_glGenTextures(count, names); }

void glBindTexture(GLenum, GLuint texture)
{
    gl1.attributes.texture = texture;
    emscripten_glBindTexture(GL_TEXTURE_2D, texture);
}

// GL 1.x's clamp (to the border, which the show's textures never reach)
// becomes clamp to the edge.
void glTexParameteri(GLenum target, GLenum name, GLint value)
{
    emscripten_glTexParameteri(target, name, value == GL_CLAMP ? GL_CLAMP_TO_EDGE : value);
}

// An alpha texture becomes white RGBA with that alpha: GL modulates the
// colour by it and the alpha by the alpha, which is what the programs do with
// RGBA. Other formats go to WebGL as they are, rows packed to the byte.
void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* data)
{
    if (format != GL_ALPHA || type != GL_UNSIGNED_BYTE || !data) {
        emscripten_glTexImage2D(target, level, internal_format, width, height, border, format, type, data);
        return;
    }
    const int align = gl1.unpack_alignment > 0 ? gl1.unpack_alignment : 1;
    const size_t row_bytes = (size_t(width) + size_t(align) - 1) / size_t(align) * size_t(align);
    const auto* alpha = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4, 255);
    for (size_t y = 0; y < size_t(height); ++y)
        for (size_t x = 0; x < size_t(width); ++x)
            rgba[(y * size_t(width) + x) * 4 + 3] = alpha[y * row_bytes + x];
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    emscripten_glTexImage2D(target, level, GL_RGBA8, width, height, border, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl1.unpack_alignment);
}

// Textures always modulate the colour, the show's one texture environment.
void glTexEnvi(GLenum, GLenum, GLint) {}

// The matrix as GLU builds it, in single precision, then the eye moved to
// the origin.
void gluLookAt(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble centre_x, GLdouble centre_y,
               GLdouble centre_z, GLdouble up_x, GLdouble up_y, GLdouble up_z)
{
    float forward[3] = {float(centre_x - eye_x), float(centre_y - eye_y), float(centre_z - eye_z)};
    float up[3] = {float(up_x), float(up_y), float(up_z)};
    float side[3];
    normalize3(forward);
    cross3(forward, up, side);
    normalize3(side);
    cross3(side, forward, up);
    Matrix m = identity_matrix();
    for (int i = 0; i < 3; ++i) {
        m[size_t(i * 4)] = side[i];
        m[size_t(i * 4 + 1)] = up[i];
        m[size_t(i * 4 + 2)] = -forward[i];
    }
    multiply_current(m);
    glTranslatef(float(-eye_x), float(-eye_y), float(-eye_z));
}

void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top)
{
    glOrtho(left, right, bottom, top, -1, 1);
}

// Level 0 as given and the smaller levels made by WebGL; the show asks for
// four components, which WebGL stores as RGBA.
GLint gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void* data)
{
    emscripten_glTexImage2D(target, 0, GL_RGBA, width, height, 0, format, type, data);
    emscripten_glGenerateMipmap(target);
    return 0;
}

} // extern "C"
