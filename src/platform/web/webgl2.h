// The WebGL 2 calls the web backend makes. Emscripten offers every WebGL
// function under an emscripten_ prefix as well, so that these can reach
// WebGL while the GL 1.x layer (gl1_layer.h) defines the glXxx names the
// show calls. Main thread, with the page's WebGL 2 context current.
#pragma once

#include <GL/gl.h>

extern "C" {
void emscripten_glActiveTexture(GLenum texture);
void emscripten_glAttachShader(GLuint program, GLuint shader);
void emscripten_glBindAttribLocation(GLuint program, GLuint index, const GLchar* name);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glBindVertexArray(GLuint array);
void emscripten_glBlendFunc(GLenum sfactor, GLenum dfactor);
void emscripten_glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage);
void emscripten_glClear(GLbitfield mask);
void emscripten_glCompileShader(GLuint shader);
GLuint emscripten_glCreateProgram();
GLuint emscripten_glCreateShader(GLenum type);
void emscripten_glCullFace(GLenum mode);
void emscripten_glDepthFunc(GLenum func);
void emscripten_glDisable(GLenum cap);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
void emscripten_glEnable(GLenum cap);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glGenBuffers(GLsizei n, GLuint* buffers);
void emscripten_glGenTextures(GLsizei n, GLuint* textures);
void emscripten_glGenVertexArrays(GLsizei n, GLuint* arrays);
void emscripten_glGenerateMipmap(GLenum target);
void emscripten_glGetProgramInfoLog(GLuint program, GLsizei size, GLsizei* length, GLchar* log);
void emscripten_glGetProgramiv(GLuint program, GLenum pname, GLint* params);
void emscripten_glGetShaderInfoLog(GLuint shader, GLsizei size, GLsizei* length, GLchar* log);
GLint emscripten_glGetUniformLocation(GLuint program, const GLchar* name);
void emscripten_glLinkProgram(GLuint program);
void emscripten_glPixelStorei(GLenum pname, GLint param);
void emscripten_glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                             void* pixels);
void emscripten_glUniform1f(GLint location, GLfloat value);
void emscripten_glShaderSource(GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* pixels);
void emscripten_glTexParameteri(GLenum target, GLenum pname, GLint param);
void emscripten_glUniform1i(GLint location, GLint v0);
void emscripten_glUniform4f(GLint location, GLfloat v0, GLfloat v1, GLfloat v2, GLfloat v3);
void emscripten_glUniform3fv(GLint location, GLsizei count, const GLfloat* value);
void emscripten_glUniform4fv(GLint location, GLsizei count, const GLfloat* value);
void emscripten_glUniformMatrix3fv(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value);
void emscripten_glUniformMatrix4fv(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value);
void emscripten_glUseProgram(GLuint program);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                      const void* pointer);
void emscripten_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
}
