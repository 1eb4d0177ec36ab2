// The GL state every 2D scene handler draws in: all attributes saved, flat
// shading, no culling, no depth test, colour material on, an orthographic box
// (near -1, far 1) as the projection and an identity modelview.
#pragma once

enum class Blend {
    none,
    alpha,    // source alpha over the picture
    multiply, // (ONE, SRC_ALPHA): a black quad scales the picture by its alpha
};

// Saves all attributes and sets the state above with the box (left, right,
// bottom, top). The matrix mode is left at modelview.
void begin_flat_2d(double left, double right, double bottom, double top, Blend blend = Blend::none);

// Restores the attributes saved by begin_flat_2d.
void end_flat_2d();
