#!/usr/bin/env python3
"""Tells how the show's picture sits on a screenshot of a display it covers.

    covered_display.py SCREEN.rgb WIDTH HEIGHT

SCREEN.rgb is the whole screen as raw 8-bit RGB. The picture belongs in the
largest 4:3 area that fits, centred; everything beside it must be black.
Prints "filled" when a scene reaches every edge of that area with black
beside it, "bars: ..." when a pixel beside the area is lit, and
"dark edges: ..." when the scene on show leaves an edge dark (a scene that
does not fill the picture, or a picture drawn smaller than the area).
"""
import sys

data = open(sys.argv[1], 'rb').read()
W, H = int(sys.argv[2]), int(sys.argv[3])
if W * 3 <= H * 4:
    width, height = W, (W * 3 + 2) // 4
else:
    width, height = (H * 4 + 1) // 3, H
left, top = (W - width) // 2, (H - height) // 2
right, bottom = left + width, top + height


def lit(x, y):
    i = (y * W + x) * 3
    return data[i] | data[i + 1] | data[i + 2]


for y in range(0, H, 3):
    xs = range(0, W) if y < top or y >= bottom else list(range(0, left)) + list(range(right, W))
    for x in xs:
        if lit(x, y) > 8:
            print(f"bars: lit pixel at ({x}, {y}) outside the picture")
            sys.exit()
edges = {'left': [(left, y) for y in range(top, bottom)], 'right': [(right - 1, y) for y in range(top, bottom)],
         'top': [(x, top) for x in range(left, right)], 'bottom': [(x, bottom - 1) for x in range(left, right)]}
dark = [name for name, pixels in edges.items() if not any(lit(x, y) > 8 for x, y in pixels)]
print("filled" if not dark else "dark edges: " + " ".join(dark))
