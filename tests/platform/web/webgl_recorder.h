// A stand-in for WebGL 2 that the web backend's GL 1.x layer links natively in
// place of the browser's: it keeps what WebGL keeps (buffers, vertex arrays,
// enables, textures, each program's uniforms) and records every draw with the
// vertices it reads and the state it draws with. One thread.
#pragma once

#include "platform/web/gl1_layer.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

inline bool operator==(const Gl1Vertex& a, const Gl1Vertex& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A text vertex as gl1_text.cpp lays it out.
struct TextVertexRecord {
    float position[2]; // window pixels
    float texel[2];    // atlas pixels
    float color[4];
    bool operator==(const TextVertexRecord&) const = default;
};

// What WebGL keeps of the fixed functions.
struct WebglFixedState {
    bool depth_test = false, cull_face = false, blend = false;
    GLenum blend_source = GL_ONE, blend_destination = GL_ZERO, depth_function = GL_LESS, cull_face_mode = GL_BACK;
    GLuint texture0 = 0; // bound on unit 0
    bool operator==(const WebglFixedState&) const = default;
};

struct RecordedDraw {
    GLenum mode;
    bool text;                              // the bitmap text program, else one of the layer's
    bool lit, textured, flat;               // which of the layer's programs
    std::vector<Gl1Vertex> vertices;        // the layer's programs
    std::vector<TextVertexRecord> glyphs;   // the text program
    std::map<std::string, std::vector<float>> uniforms; // the program's, by name
    WebglFixedState fixed;
    bool operator==(const RecordedDraw&) const = default;
};

struct WebglRecord {
    std::vector<RecordedDraw> draws;
    std::map<GLuint, std::vector<uint8_t>> textures; // level 0 as uploaded
    std::vector<std::string> faults;                 // what real WebGL would reject
};

extern WebglRecord webgl;

// Forgets every object and draw: a fresh context.
void webgl_reset();

// Position i of a draw taken through its modelview-projection matrix.
std::array<float, 4> clip_position(const RecordedDraw& draw, size_t i);
