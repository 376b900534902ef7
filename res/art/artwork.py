#!/usr/bin/env python3
"""Draws the program's pictures and icons.

The large pictures are SVG, written here from shared parts (globe, key, laptop, warning
triangle) so that every picture uses the same shapes and colours; rsvg-convert renders them.
Every picture is rendered at 100, 125, 150 and 200 % from the same drawing. The 16-pixel icons
are pixel art, drawn by hand below, because a scaled-down vector globe turns to mush at that
size; from 20 pixels up the icons are rendered from the drawing too. ImageMagick writes the
bitmaps, icotool packs the icons.

Usage: artwork.py RES_DIR WORK_DIR
"""

import math
import os
import struct
import subprocess
import sys
import zlib

# ---------------------------------------------------------------------------------------------
# Colours

OCEAN = ("#8fd3ff", "#3d9be0", "#17599f")  # light, middle, dark
LAND = ("#9ad65a", "#4fa83a", "#2d6e27")
RIM = "#123f73"
GREY_OCEAN = ("#e4e6e8", "#b7bbc0", "#8a9096")
GREY_LAND = ("#f6f7f8", "#d3d6d9", "#a9aeb3")
GREY_RIM = "#6b7178"
GOLD = ("#ffe58a", "#f2bc2c", "#c98a12")
GOLD_EDGE = "#6e4a06"
AMBER = ("#ffe470", "#fbc419", "#e59e00")
AMBER_EDGE = "#8a5a00"
SIGN_RED = "#d7262e"
SIGN_RED_EDGE = "#8f1016"
LINK_GREEN = "#2fa84a"
CAPTION_GREEN = "#1f7a35"
CAPTION_GREY = "#6b7178"
LINK_GREY = "#b3b7bc"

# ---------------------------------------------------------------------------------------------
# SVG parts


def smooth_path(points, cx, cy, r):
    """A closed Catmull-Rom curve through points given in unit-circle coordinates."""
    pts = [(cx + x * r, cy + y * r) for x, y in points]
    n = len(pts)
    d = "M%.2f,%.2f" % pts[0]
    for i in range(n):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[(i + 1) % n], pts[(i + 2) % n]
        c1 = (p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6)
        c2 = (p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6)
        d += " C%.2f,%.2f %.2f,%.2f %.2f,%.2f" % (c1 + c2 + p2)
    return d + " Z"


# The Atlantic side of the Earth, in coordinates of a unit circle (y grows downwards).
CONTINENTS = [
    # North America with Central America
    [(-1.05, -0.30), (-0.85, -0.62), (-0.55, -0.84), (-0.18, -0.92), (0.02, -0.74),
     (-0.14, -0.58), (-0.08, -0.38), (-0.26, -0.22), (-0.30, -0.02), (-0.18, 0.10),
     (-0.36, 0.06), (-0.56, -0.06), (-0.78, -0.10)],
    # South America
    [(-0.22, 0.18), (0.02, 0.22), (0.20, 0.34), (0.18, 0.52), (0.00, 0.68), (-0.10, 0.92),
     (-0.22, 0.84), (-0.26, 0.58), (-0.34, 0.36)],
    # Greenland
    [(-0.02, -0.99), (0.26, -0.96), (0.20, -0.80), (0.02, -0.80)],
    # Europe and Africa
    [(0.40, -0.84), (0.66, -0.80), (0.80, -0.60), (0.64, -0.46), (0.80, -0.34), (1.02, -0.26),
     (1.05, 0.10), (0.88, 0.30), (0.80, 0.60), (0.62, 0.80), (0.52, 0.58), (0.46, 0.30),
     (0.32, 0.12), (0.30, -0.14), (0.46, -0.30), (0.36, -0.52)],
]


class Svg:
    """One SVG document; parts add their gradients with ids unique in the document."""

    def __init__(self, width, height, background=None, crisp=False):
        self.width, self.height, self.crisp = width, height, crisp
        self.defs, self.body, self.count = [], [], 0
        if background:
            self.body.append('<rect width="%g" height="%g" fill="%s"/>' % (width, height, background))

    def uid(self, name):
        self.count += 1
        return "%s%d" % (name, self.count)

    def linear(self, stops, x1=0, y1=0, x2=0, y2=1):
        gid = self.uid("l")
        self.defs.append(
            '<linearGradient id="%s" x1="%g" y1="%g" x2="%g" y2="%g">%s</linearGradient>'
            % (gid, x1, y1, x2, y2, stops_xml(stops)))
        return "url(#%s)" % gid

    def radial(self, stops, cx, cy, r, fx=None, fy=None):
        gid = self.uid("r")
        self.defs.append(
            '<radialGradient id="%s" gradientUnits="userSpaceOnUse" cx="%g" cy="%g" r="%g" '
            'fx="%g" fy="%g">%s</radialGradient>'
            % (gid, cx, cy, r, cx if fx is None else fx, cy if fy is None else fy, stops_xml(stops)))
        return "url(#%s)" % gid

    def add(self, xml):
        self.body.append(xml)

    def text(self):
        return ('<svg xmlns="http://www.w3.org/2000/svg" width="%g" height="%g" '
                'viewBox="0 0 %g %g"%s><defs>%s</defs>%s</svg>\n'
                % (self.width, self.height, self.width, self.height,
                   ' shape-rendering="crispEdges"' if self.crisp else "", "".join(self.defs),
                   "".join(self.body)))


def stops_xml(stops):
    out = []
    for offset, colour, *opacity in stops:
        out.append('<stop offset="%g" stop-color="%s" stop-opacity="%g"/>'
                   % (offset, colour, opacity[0] if opacity else 1))
    return "".join(out)


def globe(svg, cx, cy, r, grey=False, rim_width=None, flat=False):
    """The Earth; flat draws it in plain standard colours, for 16-colour images."""
    ocean, land, rim = (GREY_OCEAN, GREY_LAND, GREY_RIM) if grey else (OCEAN, LAND, RIM)
    rim_width = rim_width or max(1.0, r / 18)
    clip = svg.uid("c")
    svg.defs.append('<clipPath id="%s"><circle cx="%g" cy="%g" r="%g"/></clipPath>'
                    % (clip, cx, cy, r))
    if flat:
        svg.add('<circle cx="%g" cy="%g" r="%g" fill="#0000ff"/>' % (cx, cy, r))
        svg.add('<g clip-path="url(#%s)">' % clip)
        for shape in CONTINENTS:
            svg.add('<path d="%s" fill="#008000"/>' % smooth_path(shape, cx, cy, r))
        svg.add("</g>")
        svg.add('<circle cx="%g" cy="%g" r="%g" fill="none" stroke="#000080" '
                'stroke-width="%g"/>' % (cx, cy, r - rim_width / 2, rim_width))
        return
    sea = svg.radial([(0, ocean[0]), (0.55, ocean[1]), (1, ocean[2])],
                     cx - r * 0.35, cy - r * 0.4, r * 1.45)
    ground = svg.radial([(0, land[0]), (0.6, land[1]), (1, land[2])],
                        cx - r * 0.35, cy - r * 0.4, r * 1.45)
    shade = svg.radial([(0, "#000000", 0), (0.72, "#000000", 0), (1, "#000000", 0.28)],
                       cx - r * 0.2, cy - r * 0.25, r * 1.25)
    shine = svg.radial([(0, "#ffffff", 0.75), (1, "#ffffff", 0)],
                       cx - r * 0.38, cy - r * 0.45, r * 0.55)
    svg.add('<circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (cx, cy, r, sea))
    svg.add('<g clip-path="url(#%s)">' % clip)
    for shape in CONTINENTS:
        svg.add('<path d="%s" fill="%s"/>' % (smooth_path(shape, cx, cy, r), ground))
    svg.add('<circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (cx, cy, r, shade))
    svg.add('<ellipse cx="%g" cy="%g" rx="%g" ry="%g" fill="%s"/>'
            % (cx - r * 0.38, cy - r * 0.45, r * 0.55, r * 0.45, shine))
    svg.add("</g>")
    svg.add('<circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="%g"/>'
            % (cx, cy, r - rim_width / 2, rim, rim_width))


def key(svg, x, y, size, edge=None, flat=False):
    """A gold key lying on its side: bow centred at (x, y), shaft to the left, teeth down; size
    is its whole length. flat draws it in plain standard colours."""
    s = size / 47.0
    edge = edge or max(1.0, 1.5 * s)
    fill = "#ffff00" if flat else svg.linear([(0, GOLD[0]), (0.5, GOLD[1]), (1, GOLD[2])])
    edge_colour = "#000000" if flat else GOLD_EDGE
    # Drawn with the bow at the origin and the shaft to the right, then mirrored.
    outline = ("M 8.2,-3.2 A 9,9 0 1 0 8.2,3.2 L 22,3.2 L 22,8.5 L 26.5,8.5 L 26.5,3.2 "
               "L 29,3.2 L 29,10 L 34,10 L 34,3.2 L 36.5,3.2 Q 38,3.2 38,1.7 L 38,-1.7 "
               "Q 38,-3.2 36.5,-3.2 Z")
    svg.add('<g transform="translate(%g,%g) scale(%g,%g)">' % (x, y, -s, s))
    hole = " M 1.9,0 A 3.4,3.4 0 1 0 -4.9,0 A 3.4,3.4 0 1 0 1.9,0 Z"  # through the bow
    svg.add('<path d="%s" fill="%s" fill-rule="evenodd" stroke="%s" stroke-width="%g" '
            'stroke-linejoin="round"/>' % (outline + hole, fill, edge_colour, edge / s))
    if s > 0.5 and not flat:  # a glint on the bow, lost at small sizes
        svg.add('<path d="M -6,-4.5 A 6.5,6.5 0 0 1 1,-6.5" fill="none" stroke="#fff6cf" '
                'stroke-width="1.6" stroke-linecap="round" opacity="0.9"/>')
    svg.add("</g>")


def globe_with_key(svg, size, small=False, flat=False):
    """The program's emblem filling a square of the given size."""
    u = size / 48.0
    globe(svg, 20.5 * u, 20 * u, 19.5 * u, rim_width=(1.6 if small else 1.3) * u, flat=flat)
    key(svg, 38 * u, 36.5 * u, 30 * u, edge=(1.5 if small else 1.2) * u, flat=flat)


def cross_badge(svg, cx, cy, r):
    """The red round badge with a white cross, for the tray icon of the error state."""
    fill = svg.radial([(0, "#ff6b6f"), (0.6, "#e0313a"), (1, "#b0161d")],
                      cx - r * 0.3, cy - r * 0.35, r * 1.4)
    edge = max(1.0, r / 6)
    svg.add('<circle cx="%g" cy="%g" r="%g" fill="%s" stroke="%s" stroke-width="%g"/>'
            % (cx, cy, r - edge / 2, fill, SIGN_RED_EDGE, edge))
    arm = r * 0.42
    svg.add('<path d="M%g,%g L%g,%g M%g,%g L%g,%g" stroke="#ffffff" stroke-width="%g" '
            'stroke-linecap="round"/>' % (cx - arm, cy - arm, cx + arm, cy + arm,
                                          cx + arm, cy - arm, cx - arm, cy + arm, r * 0.36))


# The sizes of the tray icons above the pixel art: the small-icon size at 125, 150 and 200 %
# and the large one for lists and the task switcher.
TRAY_SIZES = (20, 24, 32, 48)


def tray_globe(size, grey=False, cross=False):
    """A tray icon from 20 pixels up: the globe filling the square, for the error state grey
    with the red cross over its lower right, cut free by a transparent ring."""
    svg = Svg(size, size)
    r = size / 2
    rim = max(1.0, size / 22)
    badge_r, badge_c = size * 0.27, size * 0.73
    if cross:
        mask = svg.uid("m")
        svg.defs.append('<mask id="%s"><rect width="%g" height="%g" fill="#ffffff"/>'
                        '<circle cx="%g" cy="%g" r="%g" fill="#000000"/></mask>'
                        % (mask, size, size, badge_c, badge_c, badge_r + max(1.0, size / 16)))
        svg.add('<g mask="url(#%s)">' % mask)
    globe(svg, r, r, r, grey=grey, rim_width=rim)
    if cross:
        svg.add("</g>")
        cross_badge(svg, badge_c, badge_c, badge_r)
    return svg


def rounded_triangle(cx, top, bottom, half, radius):
    """Path of an upward triangle with rounded corners."""
    pts = [(cx, top), (cx + half, bottom), (cx - half, bottom)]
    d = ""
    for i in range(3):
        p0, p1, p2 = pts[i - 1], pts[i], pts[(i + 1) % 3]

        def towards(a, b, dist):
            length = math.hypot(b[0] - a[0], b[1] - a[1])
            return (a[0] + (b[0] - a[0]) * dist / length, a[1] + (b[1] - a[1]) * dist / length)

        a, b = towards(p1, p0, radius), towards(p1, p2, radius)
        d += ("M" if i == 0 else "L") + "%.3f,%.3f Q%.3f,%.3f %.3f,%.3f " % (a + p1 + b)
    return d + "Z"


def warning_triangle(svg, x, y, size, edge):
    """The amber warning sign with an exclamation mark in a size x size square at (x, y)."""
    fill = svg.linear([(0, AMBER[0]), (0.55, AMBER[1]), (1, AMBER[2])])
    half = size * 0.5 - edge * 0.6
    top, bottom = y + edge * 0.8, y + size - edge * 0.9
    svg.add('<path d="%s" fill="%s" stroke="%s" stroke-width="%g" stroke-linejoin="round"/>'
            % (rounded_triangle(x + size / 2, top, bottom, half, size * 0.09), fill, AMBER_EDGE,
               edge))
    cx = x + size / 2
    h = bottom - top
    bar_w = size * 0.12
    svg.add('<path d="M%g,%g L%g,%g L%g,%g L%g,%g Z" fill="#222222"/>'
            % (cx - bar_w / 2, top + h * 0.30, cx + bar_w / 2, top + h * 0.30,
               cx + bar_w * 0.36, top + h * 0.70, cx - bar_w * 0.36, top + h * 0.70))
    svg.add('<circle cx="%g" cy="%g" r="%g" fill="#222222"/>'
            % (cx, top + h * 0.83, bar_w * 0.55))


def roadworks_sign(svg, size):
    """A road-works warning sign: red-rimmed white triangle, a worker digging a heap."""
    u = size / 48.0
    half, top, bottom, border = 22.5, 2.5, 44.5, 4.6
    slope = half / (bottom - top)  # half width gained per unit of height
    inner_top = top + border * math.hypot(1, slope) / slope
    inner_bottom = bottom - border
    svg.add('<path d="%s" fill="%s" stroke="%s" stroke-width="%g" stroke-linejoin="round"/>'
            % (rounded_triangle(24 * u, top * u, bottom * u, half * u, 4 * u), SIGN_RED,
               SIGN_RED_EDGE, 1.1 * u))
    svg.add('<path d="%s" fill="#ffffff"/>'
            % rounded_triangle(24 * u, inner_top * u, inner_bottom * u,
                               (inner_bottom - inner_top) * slope * u, 1.5 * u))
    ink = "#1c1c1c"
    svg.add('<g transform="scale(%g) translate(24,32.2) scale(1.1) translate(-26.5,-30)" '
            'fill="%s" stroke="%s" stroke-linecap="round" stroke-linejoin="round">'
            % (u, ink, ink))
    svg.add('<circle cx="20.6" cy="20.8" r="2.3" stroke="none"/>')  # head
    svg.add('<path d="M21.6,24.2 L24.3,30.5" fill="none" stroke-width="3.4"/>')  # body
    svg.add('<path d="M24.3,30.5 L21.6,35.6 M24.3,30.5 L27.4,34.4 L27.4,36.2" fill="none" '
            'stroke-width="2.2"/>')  # legs
    svg.add('<path d="M22.4,25.2 L26.6,27.4" fill="none" stroke-width="1.8"/>')  # arm
    svg.add('<path d="M25.6,23.6 L30.2,32.4" fill="none" stroke-width="1.3"/>')  # shovel shaft
    svg.add('<path d="M28.9,32 L32.1,30.5 L33.6,34.3 Z" stroke-width="0.8"/>')  # blade
    svg.add('<path d="M29.6,37 Q33.6,33 37.2,37 Z" stroke="none"/>')  # heap
    svg.add("</g>")


def laptop(svg, x, y):
    """A laptop whose screen's top left corner is at (x, y); 96 wide, 66 high."""
    bezel = svg.linear([(0, "#5b636c"), (1, "#343a41")])
    screen = svg.linear([(0, "#eaf4fd"), (1, "#b3d3f0")], 0, 0, 1, 1)
    deck = svg.linear([(0, "#eef0f2"), (1, "#bfc4ca")])
    svg.add('<rect x="%g" y="%g" width="76" height="54" rx="4" fill="%s" stroke="#2b3036" '
            'stroke-width="1"/>' % (x + 10.5, y + 0.5, bezel))
    svg.add('<rect x="%g" y="%g" width="66" height="44" fill="%s"/>' % (x + 16, y + 6, screen))
    # a window on the screen, so it reads as a computer, not a frame
    svg.add('<rect x="%g" y="%g" width="34" height="22" rx="1.5" fill="#ffffff" stroke="#7ea7cf" '
            'stroke-width="1"/>' % (x + 24.5, y + 14.5))
    svg.add('<rect x="%g" y="%g" width="33" height="4" fill="#5d93c9"/>' % (x + 25, y + 15))
    for i, w in enumerate((22, 26, 16)):
        svg.add('<rect x="%g" y="%g" width="%g" height="2" fill="#c5d5e5"/>'
                % (x + 29, y + 23 + 4 * i, w))
    svg.add('<path d="M%g,%g L%g,%g L%g,%g Q%g,%g %g,%g L%g,%g Q%g,%g %g,%g Z" fill="%s" '
            'stroke="#7a828b" stroke-width="1"/>' % (
                x + 9, y + 55.5, x + 87, y + 55.5, x + 95.5, y + 62.5, x + 96.5, y + 65.5,
                x + 93.5, y + 65.5, x + 2.5, y + 65.5, x - 0.5, y + 65.5, x + 0.5, y + 62.5, deck))
    svg.add('<rect x="%g" y="%g" width="20" height="2" rx="1" fill="#9aa1a9"/>'
            % (x + 38, y + 61))


# ---------------------------------------------------------------------------------------------
# Scales

# The scales in percent at which every picture exists. The program shows the largest one that
# is not larger than its display's scale (ui/picture_scale.cpp); the variant's resource number
# is the picture's plus 1000 for each step (res/resource.h).
SCALES = (100, 125, 150, 200)

# Base units in pixels (average character width, height) of the dialogs' font, 8 points, at
# each scale. Dialog units grow in whole pixels of the font, so a control at 125 % is less than
# 1.25 times its size at 100 %.
BASE_UNITS = {100: (6, 13), 125: (7, 16), 150: (9, 19), 200: (12, 25)}

# The state picture's static and the warning badge's static in the main window's template,
# in dialog units (x, y, width, height). Both centre their bitmaps.
PICTURE_CONTROL = (7, 7, 213, 86)
BADGE_CONTROL = (109, 42, 21, 20)


def mul_div(a, b, c):
    """Windows' MulDiv for non-negative numbers: a * b / c, rounded half up."""
    return (2 * a * b + c) // (2 * c)


def dialog_rect(scale, x, y, width, height):
    """A rectangle of dialog units in pixels at a scale, as the dialog manager maps it."""
    cx, cy = BASE_UNITS[scale]
    return (mul_div(x, cx, 4), mul_div(y, cy, 8), mul_div(width, cx, 4), mul_div(height, cy, 8))


def centred(start, room, size):
    """Where a static with a centred image starts drawing it."""
    return start + room // 2 - size // 2


def state_layout(scale):
    """The state picture's canvas, the badge's canvas and the badge's centre on the picture.

    The picture's canvas is a pixel smaller than its static (319 x 139 at 100 %): a static
    clips a larger image on every side. The badge's canvas is its static's size, since the
    static shows its own background, not the picture, where the badge leaves room (at 100 % it
    keeps the template's 32 x 32). The picture is drawn so that the gap in its link lies where
    the badge's static shows the triangle."""
    px, py, pw, ph = dialog_rect(scale, *PICTURE_CONTROL)
    bx, by, bw, bh = dialog_rect(scale, *BADGE_CONTROL)
    canvas = (pw - 1, ph - 1)
    badge = (32, 32) if scale == 100 else (bw, bh)
    centre = (centred(bx, bw, badge[0]) + badge[0] / 2 - centred(px, pw, canvas[0]),
              centred(by, bh, badge[1]) + badge[1] / 2 - centred(py, ph, canvas[1]))
    return canvas, badge, centre


def scaled(size, scale):
    return round(size * scale / 100)


# The point of the state picture's drawing (at 100 %) where the link's gap is; the drawing is
# placed so that it falls on the badge's centre at every scale.
GAP_CENTRE = (169, 73)


def state_picture(connected, scale):
    (width, height), _, centre = state_layout(scale)
    # Plain white to the edges: the static centres the picture and fills the rest of its
    # area with the colour of the top left pixel.
    svg = Svg(width, height, "#ffffff")
    svg.add('<g transform="translate(%g,%g) scale(%g) translate(%g,%g)">'
            % (centre[0], centre[1], scale / 100, -GAP_CENTRE[0], -GAP_CENTRE[1]))
    line_y = GAP_CENTRE[1]
    left, right = 112, 217  # the connectors beside the laptop and the globe
    if connected:
        svg.add('<path d="M%g,%g L%g,%g" stroke="%s" stroke-width="4"/>'
                % (left, line_y, right + 6, line_y, LINK_GREEN))
        for px in (left, right):
            svg.add('<circle cx="%g" cy="%g" r="4.5" fill="%s"/>' % (px, line_y, LINK_GREEN))
    else:
        # The link is broken in the middle; the badge of the error state fills the break.
        gap = 22
        for a, b in ((left, GAP_CENTRE[0] - gap), (GAP_CENTRE[0] + gap, right + 6)):
            svg.add('<path d="M%g,%g L%g,%g" stroke="%s" stroke-width="4" '
                    'stroke-dasharray="6,4"/>' % (a, line_y, b, line_y, LINK_GREY))
        for px in (left, right):
            svg.add('<circle cx="%g" cy="%g" r="4.5" fill="%s"/>' % (px, line_y, LINK_GREY))
    laptop(svg, 20, 40)
    globe(svg, 262, 73, 40, grey=not connected, rim_width=1.6)
    caption = "Интернет подключен" if connected else "Интернет не подключен"
    colour = CAPTION_GREEN if connected else CAPTION_GREY
    svg.add('<text x="159.5" y="129" text-anchor="middle" font-family="DejaVu Sans" '
            'font-weight="bold" font-size="13" fill="%s">%s</text>' % (colour, caption))
    svg.add("</g>")
    return svg


def warning_badge(width, height):
    """The badge over the state picture: the triangle in the middle square, white around."""
    svg = Svg(width, height, "#ffffff")
    side = min(width, height)
    k = side / 32
    x, y = (width - side) / 2, (height - side) / 2
    warning_triangle(svg, x + 1 * k, y + 2 * k, 30 * k, 1.5 * k)
    return svg


# ---------------------------------------------------------------------------------------------
# Pixel art for the 16-pixel icons. Each letter is a colour: the true colour for the 8- and
# 32-bit images, and the nearest of the 16 standard colours, chosen by eye, for the 4-bit ones.

PIXEL_COLOURS = {
    ".": (None, None),
    # coloured globe
    "o": ("#123f73", "#000080"),  # rim
    "l": ("#7cc6f7", "#0000ff"),  # sea, lit
    "b": ("#3d9be0", "#0000ff"),  # sea
    "B": ("#1f62a8", "#000080"),  # sea, shaded
    "g": ("#8ccf4f", "#008000"),  # land, lit
    "G": ("#4fa83a", "#008000"),  # land
    "D": ("#2d6e27", "#008000"),  # land, shaded
    # grey globe
    "O": ("#5f656c", "#808080"),
    "a": ("#c5c9cd", "#c0c0c0"),
    "m": ("#a3a9af", "#c0c0c0"),
    "M": ("#878d94", "#808080"),
    "h": ("#f4f5f6", "#ffffff"),
    "H": ("#dfe2e5", "#ffffff"),
    "E": ("#c0c4c8", "#c0c0c0"),
    # red cross badge
    "R": ("#8f1016", "#800000"),
    "r": ("#e0313a", "#ff0000"),
    "W": ("#ffffff", "#ffffff"),
    # key
    "K": ("#6e4a06", "#000000"),
    "y": ("#ffd84a", "#ffff00"),
    "Y": ("#d99a16", "#808000"),
}

# Land (G) and sea (b) follow the vector globe's continents; shade() adds the light.
GLOBE16_FLAT = [
    ".....oooooo.....",
    "...ooGGbGbGoo...",
    "..oGGGGbbbbGGo..",
    ".oGGGGGbbbbGGbo.",
    ".oGGGGGbbbbGGGo.",
    "oGGGGGbbbbbGGGGo",
    "obGGGGbbbbGGGGGo",
    "obbGGGbbbbGGGGGo",
    "obbbbGGbbbGGGGGo",
    "obbbbbGGbbbGGGGo",
    "obbbbGGGGbbGGGbo",
    ".obbbGGGGbbbGGo.",
    ".obbbbGGGbbbGGo.",
    "..obbbGGbbbbGo..",
    "...oobGbbbboo...",
    ".....oooooo.....",
]


def shade(grid, light=(4.5, 4.0), lit=3.3, dark=8.3):
    """Lights the flat globe from the upper left: near the light the lit colours, far from
    it the shaded ones."""
    out = []
    for y, row in enumerate(grid):
        line = ""
        for x, c in enumerate(row):
            d = math.hypot(x - light[0], y - light[1])
            if c in "bG" and d < lit:
                c = {"b": "l", "G": "g"}[c]
            elif c in "bG" and d > dark:
                c = {"b": "B", "G": "D"}[c]
            line += c
        out.append(line)
    return out


GLOBE16 = shade(GLOBE16_FLAT)

# The grey globe is the coloured one with each colour replaced by its grey.
TO_GREY = {"o": "O", "l": "a", "b": "m", "B": "M", "g": "h", "G": "H", "D": "E"}

CROSS16 = [  # drawn over the lower right corner of the grey globe
    "..RRRR..",
    ".RrrrrR.",
    "RrWrrWrR",
    "RrrWWrrR",
    "RrrWWrrR",
    "RrWrrWrR",
    ".RrrrrR.",
    "..RRRR..",
]

KEY16 = [  # drawn over the bottom of the globe for the program's icon
    ".......KKK.",
    "KKKKKKKyyyK",
    "KyyyyyyyKyK",
    "KyKyKKKYyYK",
    "KKKKK..KKK.",
]


def grey_of(grid):
    return ["".join(TO_GREY.get(c, c) for c in row) for row in grid]


def overlay(grid, patch, x0, y0, knockout=False):
    """Draws patch over grid at (x0, y0); with knockout, clears a one-pixel ring around it."""
    rows = [list(r) for r in grid]
    solid = {(x0 + x, y0 + y) for y, row in enumerate(patch) for x, c in enumerate(row) if c != "."}
    if knockout:
        for (x, y) in solid:
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    p = (x + dx, y + dy)
                    if p not in solid and 0 <= p[0] < 16 and 0 <= p[1] < 16:
                        rows[p[1]][p[0]] = "."
    for (x, y) in solid:
        rows[y][x] = patch[y - y0][x - x0]
    return ["".join(r) for r in rows]


def hex_rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def pixel_rgba(grid, vga=False):
    data = []
    for row in grid:
        assert len(row) == len(grid[0]), row
        line = []
        for c in row:
            colour = PIXEL_COLOURS[c][1 if vga else 0]
            line.append(hex_rgb(colour) + (255,) if colour else (0, 0, 0, 0))
        data.append(line)
    return data


def write_png(path, pixels):
    """A plain 8-bit RGBA PNG; pixels is a list of rows of (r, g, b, a)."""
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


# The 16 colours of the standard VGA palette, for 4-bit images.
VGA = ["#000000", "#800000", "#008000", "#808000", "#000080", "#800080", "#008080", "#c0c0c0",
       "#808080", "#ff0000", "#00ff00", "#ffff00", "#0000ff", "#ff00ff", "#00ffff", "#ffffff"]

# ---------------------------------------------------------------------------------------------
# Building


def run(*args):
    subprocess.run(args, check=True)


class Builder:
    def __init__(self, res, work):
        self.res, self.work = res, work
        for sub in ("bitmaps", "icons"):
            os.makedirs(os.path.join(res, sub), exist_ok=True)
        os.makedirs(work, exist_ok=True)
        self.vga = os.path.join(work, "vga.png")
        write_png(self.vga, [[hex_rgb(c) + (255,) for c in VGA]])

    def path(self, name):
        return os.path.join(self.work, name)

    def render(self, svg, name, width, height):
        src, png = self.path(name + ".svg"), self.path(name + ".png")
        with open(src, "w", encoding="utf-8") as f:
            f.write(svg.text())
        run("rsvg-convert", "-w", str(width), "-h", str(height), "-o", png, src)
        return png

    def bitmap(self, png, name):
        """A 24-bit, bottom-up, uncompressed BMP on white, as LoadBitmap reads it."""
        out = os.path.join(self.res, "bitmaps", name + ".bmp")
        run("convert", png, "-background", "#ffffff", "-alpha", "remove", "-alpha", "off",
            "-type", "TrueColor", "-compress", "None", "BMP3:" + out)

    def low_colour(self, png, name, bits):
        """An 8- or 4-bit copy of a rendered image: hard transparency, reduced colours (the 16
        standard ones for 4 bits)."""
        mask, rgb = self.path(name + "-mask.png"), self.path("%s-%d-rgb.png" % (name, bits))
        out = self.path("%s-%d.png" % (name, bits))
        run("convert", png, "-alpha", "extract", "-threshold", "50%", mask)
        if bits == 4:
            reduce = ["-dither", "None", "-remap", self.vga]
        else:
            reduce = ["-dither", "None", "-colors", "255"]
        run("convert", png, "-background", "#ffffff", "-alpha", "remove", "-alpha", "off",
            *reduce, "PNG24:" + rgb)
        run("convert", rgb, mask, "-alpha", "off", "-compose", "CopyOpacity", "-composite",
            "PNG32:" + out)
        return out

    def pixel_icon(self, grid, name):
        """The three 16-pixel images of one icon: 32-bit and 8-bit true colours, 4-bit VGA."""
        full, vga = self.path(name + "-16.png"), self.path(name + "-16-vga.png")
        write_png(full, pixel_rgba(grid))
        write_png(vga, pixel_rgba(grid, vga=True))
        return [("4", vga), ("8", full), ("32", full)]

    def icon(self, name, images, raw=None):
        out = os.path.join(self.res, "icons", name + ".ico")
        args = ["icotool", "-c", "-o", out]
        for bits, png in images:
            args += ["-b", bits, png]
        if raw:
            args += ["-r", raw]
        run(*args)


def main():
    res, work = sys.argv[1], sys.argv[2]
    b = Builder(res, work)

    # Every picture at every scale; the 100 % ones keep the plain names.
    def picture(svg, name, scale):
        full = name if scale == 100 else "%s-%d" % (name, scale)
        b.bitmap(b.render(svg, full, svg.width, svg.height), full)

    for scale in SCALES:
        # State pictures of the main window and the warning badge that sits in the link's gap.
        picture(state_picture(True, scale), "connected", scale)
        picture(state_picture(False, scale), "disconnected", scale)
        picture(warning_badge(*state_layout(scale)[1]), "warning", scale)

        # Pictures of the message window and the about page (white background).
        size = scaled(48, scale)
        emblem = Svg(size, size, "#ffffff")
        globe_with_key(emblem, size)
        picture(emblem, "emblem", scale)
        roadworks = Svg(size, size, "#ffffff")
        roadworks_sign(roadworks, size)
        picture(roadworks, "roadworks", scale)
        warning = Svg(size, size, "#ffffff")
        k = size / 48
        warning_triangle(warning, 2 * k, 3 * k, 44 * k, 2 * k)
        picture(warning, "message-warning", scale)

    # The program's icon: pixel art at 16, vector drawings above.
    app16 = overlay(GLOBE16, KEY16, 5, 10, knockout=True)
    images = b.pixel_icon(app16, "app")
    for size in (20, 24):
        svg = Svg(size, size)
        globe_with_key(svg, size, small=True)
        images.append(("32", b.render(svg, "app%d" % size, size, size)))
    small, plain, large = Svg(32, 32), Svg(32, 32, crisp=True), Svg(48, 48)
    globe_with_key(small, 32, small=True)
    globe_with_key(plain, 32, small=True, flat=True)
    globe_with_key(large, 48)
    app32 = b.render(small, "app32", 32, 32)
    images += [("4", b.low_colour(b.render(plain, "app32-plain", 32, 32), "app32", 4)),
               ("8", b.low_colour(app32, "app32", 8)), ("32", app32),
               ("32", b.render(large, "app48", 48, 48))]
    huge = Svg(256, 256)
    globe_with_key(huge, 256)
    b.icon("app", images, raw=b.render(huge, "app256", 256, 256))

    # Tray icons: pixel art at 16 and the drawing at the sizes of 125 to 300 %.
    def tray(name, grid, **look):
        images = b.pixel_icon(grid, name)
        for size in TRAY_SIZES:
            images.append(("32", b.render(tray_globe(size, **look), "%s%d" % (name, size),
                                          size, size)))
        b.icon(name, images)

    tray("globe", GLOBE16)
    tray("globe-grey", grey_of(GLOBE16), grey=True)
    tray("globe-error", overlay(grey_of(GLOBE16), CROSS16, 8, 8, knockout=True), grey=True,
         cross=True)


if __name__ == "__main__":
    main()
