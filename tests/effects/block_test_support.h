// Shared pieces of the block tests: a cleared frame, an unlit culled set-up
// and colour comparison.
#pragma once

#include "support/gl_test.h"

#include <GL/gl.h>

#include <cstdlib>

// Clears colour and depth to black.
inline void clear_frame()
{
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Clears the frame and saves the GL state, then draws the lists' own colours
// unlit with back faces culled, from identity matrices. The caller sets the
// projection on the projection matrix, then the view on the modelview, and
// ends with glPopAttrib.
inline void begin_unlit_culled()
{
    clear_frame();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
}

// Each channel within tolerance levels.
inline bool colours_match(Rgb a, Rgb b, int tolerance = 3)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}
