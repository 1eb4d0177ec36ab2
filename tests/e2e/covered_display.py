#!/usr/bin/env python3
"""Tells how the show's picture sits on a screenshot of a display it covers.

    covered_display.py SCREEN.rgb WIDTH HEIGHT [MIN_HARD_STEPS]

SCREEN.rgb is the whole screen as raw 8-bit RGB. The picture belongs in the
largest 4:3 area that fits, centred; everything beside it must be black.
Prints "filled" when a scene reaches every edge of that area with black
beside it, "bars: ..." when a pixel beside the area is lit, and
"dark edges: ..." when the scene on show leaves an edge dark (a scene that
does not fill the picture, or a picture drawn smaller than the area).
With MIN_HARD_STEPS, a filled picture must also be drawn at the area's own
size: on every other row, at least that many pairs of neighbouring pixels
step by more than 128 in a channel; otherwise it prints "soft: ...". A
640x480 picture stretched with linear filtering to 1440x1080 has none: it
spreads even a step from black to white over 2.25 pixels, 113 a pixel at most.
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
if dark:
    print("dark edges: " + " ".join(dark))
    sys.exit()
if len(sys.argv) > 4:
    hard = 0
    for y in range(top, bottom, 2):
        for x in range(left, right - 1):
            i = (y * W + x) * 3
            hard += max(abs(data[i + c] - data[i + 3 + c]) for c in range(3)) > 128
    if hard < int(sys.argv[4]):
        print(f"soft: {hard} steps of more than 128 between neighbouring pixels, not {sys.argv[4]}")
        sys.exit()
print("filled")
