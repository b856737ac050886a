#!/usr/bin/env python3
"""Draws the launcher's pictures: the main window's skin, the frame of its news pane, the four
pictures of each image button, the options dialog's background, the cursor and the program
icon, and writes the resource script that puts them into the program.

Usage: make_art.py OUTPUT_FOLDER

Everything is computed from fixed seeds and the DejaVu fonts, so the same inputs give the same
pictures. Bitmaps are written as uncompressed 24-bit BMP files.
"""

import io
import os
import struct
import sys

import numpy as np
from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

W, H = 800, 599
KEY = (0x1F, 0xFF, 0x08)  # cut away from the window: everything outside the frame
SS = 4  # supersampling factor for smooth edges

FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# Places of the main window's controls (left, top, width, height), as its layout has them.
START = (686, 485, 96, 99)
FULLCHECK = (575, 506, 101, 27)
CANCEL = (575, 535, 101, 27)
CLOSE = (768, 15, 20, 20)
SETTINGS = (715, 18, 52, 15)
GAUGES = [(127, 531, 430, 5), (127, 546, 430, 5)]
STATUS = (128, 512, 429, 13)
PANE = (12, 42, 774, 439)  # the news browser's panel

# The frame around the news pane: the left, top and right pictures are cut from one drawing.
FRAME_LEFT = (7, 36, 6, 444)
FRAME_TOP = (13, 36, 780, 7)
FRAME_RIGHT = (784, 43, 9, 437)

# The window's outline: the frame proper, inside the key-colour margins.
OUT_L, OUT_T, OUT_R, OUT_B = 5, 9, 795, 595
STONE_T, STONE_B = 481, 503  # the stone band under the news pane


# ---- helpers ------------------------------------------------------------------------------

def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def rgb(img):
    return img.convert("RGB")


def noise(w, h, seed, blur=1.0):
    """Smooth noise in [-1, 1]."""
    r = np.random.RandomState(seed)
    a = r.rand(h, w).astype(np.float32)
    img = Image.fromarray((a * 255).astype(np.uint8), "L")
    if blur > 0:
        img = img.filter(ImageFilter.GaussianBlur(blur))
    a = np.asarray(img).astype(np.float32) / 255.0
    a = (a - a.mean()) / (a.std() + 1e-6)
    return np.clip(a / 2.5, -1, 1)


def arr(img):
    return np.asarray(img.convert("RGB")).astype(np.float32)


def img_of(a):
    return Image.fromarray(np.clip(a + 0.5, 0, 255).astype(np.uint8), "RGB")


def vgradient(w, h, top, bottom):
    t = np.linspace(0, 1, h, dtype=np.float32)[:, None, None]
    a = np.array(top, np.float32)[None, None, :] * (1 - t) + np.array(bottom, np.float32)[None, None, :] * t
    return np.repeat(a, w, axis=1)


def textured(w, h, top, bottom, seed, amount, blur=0.8):
    a = vgradient(w, h, top, bottom)
    n = noise(w, h, seed, blur)[:, :, None]
    return a * (1 + amount * n)


def mask_ss(size, draw_fn):
    """A smooth mask: drawn SS times larger, then reduced."""
    w, h = size
    big = Image.new("L", (w * SS, h * SS), 0)
    draw_fn(ImageDraw.Draw(big), SS)
    return big.resize((w, h), Image.LANCZOS)


def paste_mask(base, colour_img, mask, pos=(0, 0)):
    base.paste(colour_img, pos, mask)


def solid(size, colour):
    return Image.new("RGB", size, colour)


def shade_text(base, xy, text, fnt, top, bottom, shadow=(0, 0, 0), shadow_off=(1, 1), anchor="mm", glow=None):
    """Text filled with a vertical gradient, with a drop shadow and an optional glow."""
    w, h = base.size
    m = Image.new("L", (w * SS, h * SS), 0)
    big_font = fnt.font_variant(size=fnt.size * SS)
    ImageDraw.Draw(m).text((xy[0] * SS, xy[1] * SS), text, font=big_font, fill=255, anchor=anchor)
    m = m.resize((w, h), Image.LANCZOS)
    if glow is not None:
        colour, radius, strength = glow
        g = m.filter(ImageFilter.GaussianBlur(radius)).point(lambda v: min(255, int(v * strength)))
        paste_mask(base, solid((w, h), colour), g)
    if shadow is not None:
        s = ImageChops.offset(m, *shadow_off)
        paste_mask(base, solid((w, h), shadow), s)
    bbox = m.getbbox() or (0, 0, w, h)
    fill = img_of(vgradient(w, h, top, top))
    grad = vgradient(w, bbox[3] - bbox[1] + 1, top, bottom)
    fa = arr(fill)
    fa[bbox[1]:bbox[3] + 1] = grad[: fa[bbox[1]:bbox[3] + 1].shape[0]]
    paste_mask(base, img_of(fa), m)


def bevel_rect(d, box, light, dark, width=1):
    x0, y0, x1, y1 = box
    for i in range(width):
        d.line([(x0 + i, y1 - i), (x0 + i, y0 + i), (x1 - i, y0 + i)], fill=light)
        d.line([(x0 + i + 1, y1 - i), (x1 - i, y1 - i), (x1 - i, y0 + i + 1)], fill=dark)


def save_bmp(img, path):
    img.convert("RGB").save(path, "BMP")


# ---- the skin ------------------------------------------------------------------------------

def outline_mask():
    """Where the window is (255) and where the key colour cuts it away (0). Hard edges: every
    pixel is either skin or key colour."""
    m = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(m)
    d.rounded_rectangle((OUT_L, OUT_T, OUT_R - 1, OUT_B - 1), radius=9, fill=255)
    # The ornament in the middle of the title bar rises to the top edge: a crest whose shoulders
    # slope up from the bar to a pointed top.
    cx = W // 2
    d.polygon([(cx - 118, OUT_T), (cx - 92, 3), (cx - 30, 3), (cx, 0), (cx + 30, 3), (cx + 92, 3),
               (cx + 118, OUT_T)], fill=255)
    return m


def draw_frame_metal():
    base = textured(W, H, (38, 40, 48), (26, 28, 34), seed=11, amount=0.10, blur=0.7)
    return img_of(base)


def draw_title_bar(skin):
    d = ImageDraw.Draw(skin)
    # The bar: dark steel with a light upper edge and a bronze rule under it.
    bar = textured(W - 14, 24, (44, 48, 60), (22, 24, 32), seed=12, amount=0.08)
    skin.paste(img_of(bar), (7, 11))
    d.line([(8, 11), (W - 9, 11)], fill=(92, 98, 114))
    d.line([(7, 35), (W - 8, 35)], fill=(12, 12, 16))
    # The crest behind the name.
    cx = W // 2
    crest = Image.new("L", (W, 40), 0)
    cd = ImageDraw.Draw(crest)
    cd.polygon([(cx - 117, 9), (cx - 91, 4), (cx - 30, 4), (cx, 1), (cx + 30, 4), (cx + 91, 4), (cx + 117, 9),
                (cx + 132, 35), (cx - 132, 35)], fill=255)
    plate = textured(W, 40, (70, 36, 30), (34, 14, 14), seed=13, amount=0.08)
    skin.paste(img_of(plate), (0, 0), crest)
    # Bronze rims of the crest.
    rim = [(cx - 132, 35), (cx - 117, 9), (cx - 91, 4), (cx - 30, 4), (cx, 1), (cx + 30, 4), (cx + 91, 4),
           (cx + 117, 9), (cx + 132, 35)]
    d.line(rim, fill=(176, 134, 72), width=1)
    inner = [(x, y + 2) for (x, y) in rim[1:-1]]
    d.line(inner, fill=(96, 64, 32), width=1)
    d.line([(cx - 1, 1), (cx + 1, 1)], fill=(230, 196, 120))
    # A small gem at the top of the crest.
    gem = mask_ss((12, 10), lambda g, s: g.polygon([(6 * s, 0), (11 * s, 5 * s), (6 * s, 10 * s), (1 * s, 5 * s)],
                                                   fill=255))
    gem_img = img_of(vgradient(12, 10, (250, 120, 90), (120, 20, 20)))
    skin.paste(gem_img, (cx - 6, 4), gem)
    # The name.
    shade_text(skin, (cx, 22), "KORVATH", font("DejaVuSerif-Bold.ttf", 17), (250, 222, 150), (176, 128, 58),
               shadow=(10, 4, 4), glow=((120, 60, 20), 3, 0.6))
    # Small diamond ornaments along the bar, either side of the crest.
    for x in (cx - 190, cx - 160, cx + 160, cx + 190):
        dm = mask_ss((7, 7), lambda g, s: g.polygon([(3.5 * s, 0), (7 * s, 3.5 * s), (3.5 * s, 7 * s), (0, 3.5 * s)],
                                                    fill=255))
        skin.paste(solid((7, 7), (150, 112, 62)), (x - 3, 19), dm)
    d.line([(cx - 300, 22), (cx - 200, 22)], fill=(86, 66, 40))
    d.line([(cx + 200, 22), (cx + 300, 22)], fill=(86, 66, 40))


def news_area():
    """The dark blue area where the news pane sits, with a soft vignette."""
    w, h = W - 14, STONE_T - 36
    a = textured(w, h, (18, 32, 56), (10, 20, 38), seed=21, amount=0.05, blur=2.0)
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    v = ((xx - w / 2) / (w / 2)) ** 2 + ((yy - h / 2) / (h / 2)) ** 2
    a *= (1.05 - 0.35 * np.clip(v, 0, 1.4))[:, :, None]
    return img_of(a)


def draw_frame(lit):
    """The frame around the news pane, drawn over the rectangle from (7, 36) to (793, 487). Lit:
    the bronze frame the pane gets once its page has loaded; otherwise the dim one of the skin."""
    w, h = 786, 451
    img = img_of(textured(w, h, (58, 60, 70), (40, 42, 50), seed=31 if lit else 32, amount=0.10))
    d = ImageDraw.Draw(img)
    if lit:
        outer, mid, inner_hi, inner_lo = (14, 12, 10), (170, 128, 66), (222, 186, 116), (92, 62, 28)
    else:
        outer, mid, inner_hi, inner_lo = (12, 12, 14), (70, 72, 82), (96, 100, 112), (30, 32, 38)
    # Pane edge in frame coordinates: (5, 6) to (779, 445).
    px0, py0, px1, py1 = PANE[0] - 7, PANE[1] - 36, PANE[0] - 7 + PANE[2], PANE[1] - 36 + PANE[3]
    d.rectangle((0, 0, w - 1, h - 1), outline=outer)
    d.rectangle((1, 1, w - 2, h - 2), outline=mid)
    bevel_rect(d, (2, 2, w - 3, h - 3), inner_hi, inner_lo)
    d.rectangle((px0 - 1, py0 - 1, px1, py1), outline=outer)
    d.line([(px0 - 2, py1 + 1), (px0 - 2, py0 - 2), (px1 + 1, py0 - 2)], fill=inner_lo)
    # Rivets along the top.
    for x in range(40, w - 30, 96):
        rv = mask_ss((4, 4), lambda g, s: g.ellipse((0, 0, 4 * s - 1, 4 * s - 1), fill=255))
        img.paste(solid((4, 4), inner_hi if lit else (110, 112, 124)), (x, 2), rv)
    return img


def stone_band():
    """A row of dressed stones with mortar joints, lit from above."""
    w, h = OUT_R - OUT_L - 4, STONE_B - STONE_T
    r = np.random.RandomState(41)
    n = noise(w, h, 42, 0.5)
    n2 = noise(w, h, 43, 2.5)
    speck = np.random.RandomState(44).rand(h, w).astype(np.float32)
    base = np.zeros((h, w, 3), np.float32)
    blocks = []
    x = 0
    while x < w:
        bw = int(r.randint(34, 70))
        blocks.append((x, min(w, x + bw), float(r.uniform(0.80, 1.10)), float(r.uniform(-6, 6))))
        x += bw
    for (x0, x1, tone, hue) in blocks:
        base[:, x0:x1] = np.array([98 + hue, 92, 84 - hue], np.float32) * tone
    base *= (1 + 0.14 * n[:, :, None] + 0.10 * n2[:, :, None])
    base *= np.where(speck > 0.97, 0.75, 1.0)[:, :, None]
    base *= np.linspace(1.12, 0.78, h, dtype=np.float32)[:, None, None]
    img = img_of(base)
    d = ImageDraw.Draw(img)
    for (x0, x1, _, _) in blocks:
        # Joint, then the stone's lit upper-left edge and its shaded lower-right edge.
        d.line([(x0, 1), (x0, h - 1)], fill=(22, 20, 18))
        d.line([(x0 + 1, 2), (x0 + 1, h - 3), ], fill=(146, 138, 124))
        d.line([(x0 + 1, 2), (x1 - 2, 2)], fill=(150, 142, 128))
        d.line([(x1 - 1, 2), (x1 - 1, h - 2)], fill=(44, 40, 36))
        d.line([(x0 + 1, h - 2), (x1 - 1, h - 2)], fill=(40, 36, 32))
    d.line([(0, 0), (w - 1, 0)], fill=(16, 14, 12))
    d.line([(0, 1), (w - 1, 1)], fill=(30, 28, 26))
    d.line([(0, h - 1), (w - 1, h - 1)], fill=(12, 10, 10))
    return img


def bottom_panel():
    w, h = OUT_R - OUT_L - 8, OUT_B - STONE_B - 6
    a = textured(w, h, (22, 38, 66), (12, 22, 40), seed=51, amount=0.05, blur=1.5)
    img = img_of(a)
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (w - 1, 0)], fill=(168, 126, 64))
    d.line([(0, 1), (w - 1, 1)], fill=(70, 50, 26))
    bevel_rect(d, (0, 0, w - 1, h - 1), (168, 126, 64), (60, 42, 22))
    return img


def draw_gauge_grooves(skin):
    d = ImageDraw.Draw(skin)
    for (x, y, w, h) in GAUGES:
        d.rectangle((x - 2, y - 2, x + w + 1, y + h + 1), fill=(8, 12, 20))
        bevel_rect(d, (x - 2, y - 2, x + w + 1, y + h + 1), (4, 6, 10), (74, 96, 128))
        d.rectangle((x, y, x + w - 1, y + h - 1), fill=(0, 0, 0))
    # A faint strip behind the status line.
    sx, sy, sw, sh = STATUS
    strip = skin.crop((sx - 6, sy, sx + sw + 6, sy + sh))
    sa = arr(strip) * 0.8
    skin.paste(img_of(sa), (sx - 6, sy))


def start_socket(skin):
    """The round bronze socket the START button sits in."""
    x, y, w, h = START
    cx, cy = x + w / 2, y + h / 2
    size = 112
    ox, oy = int(cx - size / 2), int(cy - size / 2)
    ring = mask_ss((size, size), lambda g, s: g.ellipse((1 * s, 1 * s, (size - 1) * s, (size - 1) * s), fill=255))
    hole = mask_ss((size, size), lambda g, s: g.ellipse((9 * s, 9 * s, (size - 9) * s, (size - 9) * s), fill=255))
    metal = img_of(textured(size, size, (196, 152, 84), (86, 58, 28), seed=61, amount=0.12))
    shadow = ring.filter(ImageFilter.GaussianBlur(3))
    skin.paste(solid((size, size), (4, 4, 6)), (ox + 2, oy + 3), shadow)
    skin.paste(metal, (ox, oy), ring)
    skin.paste(solid((size, size), (10, 8, 10)), (ox, oy), hole)


def make_skin(buttons_grey):
    """The skin, and the same without the grey button copies."""
    skin = draw_frame_metal()
    d = ImageDraw.Draw(skin)
    draw_title_bar(skin)
    skin.paste(news_area(), (7, 36))
    skin.paste(draw_frame(lit=False), (7, 36))
    skin.paste(news_area().crop((5, 6, 5 + PANE[2], 6 + PANE[3])), (PANE[0], PANE[1]))
    skin.paste(stone_band(), (OUT_L + 2, STONE_T))
    skin.paste(bottom_panel(), (OUT_L + 4, STONE_B))
    draw_gauge_grooves(skin)
    start_socket(skin)
    # The outer rim of the window: black edge, bronze line, dark inside.
    m = outline_mask()
    edge = np.asarray(m) > 0
    er = np.asarray(m.filter(ImageFilter.MinFilter(3))) > 0
    er2 = np.asarray(m.filter(ImageFilter.MinFilter(5))) > 0
    sa = arr(skin)
    sa[edge & ~er] = (6, 6, 8)
    sa[er & ~er2] = (150, 112, 62)
    skin = img_of(sa)
    base = skin.copy()
    for (x, y, _, _), (colour, mask) in buttons_grey.items():
        skin.paste(colour, (x, y), mask)
    # Everything outside the frame is the key colour, pixel for pixel.
    sa = arr(skin)
    sa[~edge] = KEY
    base_a = arr(base)
    base_a[~edge] = KEY
    return img_of(sa), img_of(base_a)


# ---- the buttons ---------------------------------------------------------------------------

def start_button(state):
    """The round START button; state is one of normal, up, down, grey. Returns colour and mask."""
    w, h = START[2], START[3]
    d = 92
    ox, oy = (w - d) / 2, (h - d) / 2
    mask = mask_ss((w, h), lambda g, s: g.ellipse((ox * s, oy * s, (ox + d) * s, (oy + d) * s), fill=255))
    disc = mask_ss((w, h), lambda g, s: g.ellipse(((ox + 6) * s, (oy + 6) * s, (ox + d - 6) * s, (oy + d - 6) * s),
                                                  fill=255))
    palette = {
        "normal": ((150, 26, 26), (58, 6, 8), (236, 196, 112), (150, 104, 40)),
        "up": ((212, 48, 40), (96, 12, 12), (255, 255, 255), (236, 222, 210)),
        "down": ((186, 38, 32), (82, 10, 10), (222, 210, 200), (190, 176, 166)),
        "grey": ((84, 84, 88), (40, 40, 44), (128, 128, 132), (96, 96, 100)),
    }[state]
    inner_top, inner_bottom, text_top, text_bottom = palette
    ring_top, ring_bottom = ((218, 176, 100), (100, 68, 30)) if state != "grey" else ((130, 130, 134), (60, 60, 64))
    img = img_of(textured(w, h, ring_top, ring_bottom, seed=71, amount=0.08))
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    cx, cy = w / 2, h / 2 - (2 if state != "down" else 0)
    r = np.sqrt((xx - cx) ** 2 + (yy - (cy - 14)) ** 2) / (d / 2)
    t = np.clip(r, 0, 1.4)[:, :, None] / 1.4
    inner = np.array(inner_top, np.float32) * (1 - t) + np.array(inner_bottom, np.float32) * t
    inner *= (1 + 0.05 * noise(w, h, 72, 1.0)[:, :, None])
    img.paste(img_of(inner), (0, 0), disc)
    # A highlight arc on the upper half.
    hl = mask_ss((w, h), lambda g, s: g.ellipse(((ox + 16) * s, (oy + 10) * s, (ox + d - 16) * s, (oy + 44) * s),
                                                fill=255))
    hl = hl.point(lambda v: v * (40 if state != "down" else 20) // 255)
    img.paste(solid((w, h), (255, 255, 255)), (0, 0), hl)
    dy = 1 if state == "down" else 0
    shade_text(img, (w / 2, h / 2 + dy), "START", font("DejaVuSerif-Bold.ttf", 18), text_top, text_bottom,
               shadow=(20, 2, 2) if state != "grey" else (30, 30, 32), shadow_off=(1, 2),
               glow=((255, 120, 80), 4, 0.5) if state == "up" else None)
    return img, mask


def bar_button(label, state):
    w, h = FULLCHECK[2], FULLCHECK[3]
    mask = mask_ss((w, h), lambda g, s: g.rounded_rectangle((0, 0, w * s - 1, h * s - 1), radius=5 * s, fill=255))
    inner = mask_ss((w, h), lambda g, s: g.rounded_rectangle((2 * s, 2 * s, (w - 2) * s - 1, (h - 2) * s - 1),
                                                             radius=4 * s, fill=255))
    palette = {
        "normal": ((40, 66, 118), (18, 32, 64), (214, 224, 240)),
        "up": ((70, 110, 184), (32, 58, 110), (255, 255, 255)),
        "down": ((34, 58, 108), (62, 98, 168), (232, 238, 250)),
        "grey": ((70, 72, 78), (44, 46, 50), (124, 126, 130)),
    }[state]
    top, bottom, text = palette
    rim_top, rim_bottom = ((196, 156, 90), (92, 62, 28)) if state != "grey" else ((120, 120, 124), (58, 58, 62))
    if state == "down":
        rim_top, rim_bottom = rim_bottom, rim_top
    img = img_of(vgradient(w, h, rim_top, rim_bottom))
    body = img_of(textured(w, h, top, bottom, seed=81, amount=0.04))
    img.paste(body, (0, 0), inner)
    d = ImageDraw.Draw(img)
    if state != "down":
        gl = mask_ss((w, h), lambda g, s: g.rounded_rectangle((3 * s, 3 * s, (w - 3) * s - 1, (h // 2) * s),
                                                              radius=3 * s, fill=255))
        img.paste(solid((w, h), (255, 255, 255)), (0, 0), gl.point(lambda v: v * 26 // 255))
    dy = 1 if state == "down" else 0
    shade_text(img, (w / 2 + dy, h / 2 + dy), label, font("DejaVuSans-Bold.ttf", 11), text, text,
               shadow=(6, 10, 20), shadow_off=(1, 1))
    del d
    return img, mask


def close_button(state, background):
    w, h = CLOSE[2], CLOSE[3]
    img = background.copy()
    if state in ("up", "down"):
        glow = mask_ss((w, h), lambda g, s: g.ellipse((1 * s, 1 * s, (w - 1) * s, (h - 1) * s), fill=255))
        glow = glow.filter(ImageFilter.GaussianBlur(2.5))
        img.paste(solid((w, h), (200, 30, 24) if state == "up" else (150, 22, 18)), (0, 0), glow)
    colour = {"normal": (214, 218, 228), "up": (255, 255, 255), "down": (190, 176, 170), "grey": (96, 98, 104)}[state]
    cross = mask_ss((w, h), lambda g, s: (g.line((6 * s, 6 * s, (w - 6) * s, (h - 6) * s), fill=255, width=2 * s),
                                          g.line(((w - 6) * s, 6 * s, 6 * s, (h - 6) * s), fill=255, width=2 * s)))
    img.paste(solid((w, h), (0, 0, 0)), (1, 1), cross)
    img.paste(solid((w, h), colour), (0, 0), cross)
    return img


def settings_button(state, background):
    w, h = SETTINGS[2], SETTINGS[3]
    img = background.copy()
    if state in ("up", "down"):
        glow = mask_ss((w, h), lambda g, s: g.rounded_rectangle((1 * s, 2 * s, (w - 1) * s, (h - 2) * s),
                                                                radius=6 * s, fill=255))
        glow = glow.filter(ImageFilter.GaussianBlur(2.0)).point(lambda v: v * 150 // 255)
        img.paste(solid((w, h), (170, 24, 20)), (0, 0), glow)
    colour = {"normal": (196, 198, 206), "up": (255, 150, 140), "down": (200, 100, 92)}[state]
    shade_text(img, (w / 2, h / 2), "Settings", font("DejaVuSans.ttf", 10), colour, colour, shadow=(0, 0, 0))
    return img


# ---- cursor and icon -------------------------------------------------------------------------

def cursor_image():
    """A 32 x 32 pointer: a gilded arrow with a dark edge; its tip is the top-left pixel."""
    s = 32 * SS
    shape = [(0, 0), (0, 22), (5, 17), (9, 26), (13, 24), (9, 16), (16, 16)]
    big = Image.new("L", (s, s), 0)
    ImageDraw.Draw(big).polygon([(x * SS, y * SS) for x, y in shape], fill=255)
    outer = big.resize((32, 32), Image.LANCZOS)
    inner_shape = [(1.6, 3.2), (1.6, 18.2), (5.4, 14.4), (9.6, 23.6), (11.6, 22.6), (7.4, 13.6), (12.6, 13.6)]
    big = Image.new("L", (s, s), 0)
    ImageDraw.Draw(big).polygon([(x * SS, y * SS) for x, y in inner_shape], fill=255)
    inner = big.resize((32, 32), Image.LANCZOS)
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    img.paste(Image.new("RGBA", (32, 32), (18, 10, 6, 255)), (0, 0), outer)
    gold = img_of(vgradient(32, 32, (255, 226, 150), (170, 110, 40))).convert("RGBA")
    img.paste(gold, (0, 0), inner)
    a = np.asarray(img).copy()
    a[0, 0] = (18, 10, 6, 255)  # the hot spot is always part of the pointer
    a[:, :, 3] = np.where(a[:, :, 3] >= 128, 255, 0)
    return Image.fromarray(a, "RGBA")


def icon_master():
    """The program's icon at 256 x 256: a crest in dark red and bronze with a gold K."""
    s = 256
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    shield = [(20, 18), (128, 4), (236, 18), (230, 140), (128, 252), (26, 140)]
    inner = [(40, 34), (128, 22), (216, 34), (211, 136), (128, 228), (45, 136)]

    def poly_mask(points, grow=0):
        big = Image.new("L", (s * SS, s * SS), 0)
        ImageDraw.Draw(big).polygon([(x * SS, y * SS) for x, y in points], fill=255)
        return big.resize((s, s), Image.LANCZOS)

    outer_m = poly_mask(shield)
    inner_m = poly_mask(inner)
    rim = img_of(textured(s, s, (236, 196, 116), (110, 72, 30), seed=91, amount=0.10)).convert("RGBA")
    img.paste(rim, (0, 0), outer_m)
    yy, xx = np.mgrid[0:s, 0:s].astype(np.float32)
    r = np.clip(np.sqrt((xx - 128) ** 2 + (yy - 90) ** 2) / 170, 0, 1)[:, :, None]
    field = np.array((170, 30, 30), np.float32) * (1 - r) + np.array((50, 6, 8), np.float32) * r
    img.paste(img_of(field).convert("RGBA"), (0, 0), inner_m)
    k = Image.new("RGB", (s, s), (0, 0, 0))
    shade_text(k, (128, 124), "K", font("DejaVuSerif-Bold.ttf", 150), (255, 232, 160), (190, 130, 50),
               shadow=None)
    km = Image.new("L", (s * SS, s * SS), 0)
    ImageDraw.Draw(km).text((128 * SS, 124 * SS), "K", font=font("DejaVuSerif-Bold.ttf", 150 * SS), fill=255,
                            anchor="mm")
    km = km.resize((s, s), Image.LANCZOS)
    shadow = ImageChops.offset(km, 4, 5).filter(ImageFilter.GaussianBlur(3))
    img.paste(Image.new("RGBA", (s, s), (20, 4, 4, 255)), (0, 0), ImageChops.multiply(shadow, inner_m))
    img.paste(k.convert("RGBA"), (0, 0), km)
    return img


def dib_8bit(img_rgba, size):
    """An icon or cursor image of 256 colours: palette, colour rows, then the AND mask."""
    small = img_rgba.resize((size, size), Image.LANCZOS) if img_rgba.size != (size, size) else img_rgba
    a = np.asarray(small)
    opaque = a[:, :, 3] >= 128
    flat = Image.fromarray(np.where(opaque[:, :, None], a[:, :, :3], 0).astype(np.uint8), "RGB")
    q = flat.quantize(colors=256, method=Image.MEDIANCUT, dither=Image.NONE)
    pal = q.getpalette()[: 256 * 3]
    pal += [0] * (768 - len(pal))
    idx = np.asarray(q)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", pal[i * 3 + 2], pal[i * 3 + 1], pal[i * 3], 0) for i in range(256))
    row = (size + 3) & ~3
    xor = b"".join(bytes(idx[y].tolist()) + b"\0" * (row - size) for y in range(size - 1, -1, -1))
    return header + palette + xor + and_mask(opaque, size)


def and_mask(opaque, size):
    row = ((size + 31) // 32) * 4
    out = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(row)
        for x in range(size):
            if not opaque[y, x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def dib_32bit(img_rgba, size):
    small = img_rgba.resize((size, size), Image.LANCZOS)
    a = np.asarray(small)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    bgra = a[:, :, [2, 1, 0, 3]][::-1].tobytes()
    return header + bgra + and_mask(a[:, :, 3] >= 128, size)


def write_icon(master, path):
    sizes = [16, 24, 32, 48, 64, 72, 80, 96, 128, 256]
    images = []
    for size in sizes:
        images.append((size, 8, dib_8bit(master, size)))
        if size == 256:
            png = io.BytesIO()
            master.save(png, "PNG", optimize=False)
            images.append((size, 32, png.getvalue()))
        else:
            images.append((size, 32, dib_32bit(master, size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_cursor(img, path):
    data = dib_8bit(img, 32)
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", 32, 32, 0, 0, 0, 0, len(data), 6 + 16)  # hot spot (0, 0)
    with open(path, "wb") as f:
        f.write(out + data)



# ---- the options dialog --------------------------------------------------------------------

DW, DH = 220, 300
DKEY = (0x00, 0xFF, 0x18)  # cut away from the dialog
DPANEL = (3, 4, 216, 295)  # the panel proper, edges included
DBAND_T, DBAND_B = 5, 32  # the title band's rows
DBODY = (0x23, 0x36, 0x54)


def dialog_background():
    """The options dialog: a bronze frame with ornamented corners, a greyish-brown title band
    with the word settings, a dark blue body; key colour all around."""
    x0, y0, x1, y1 = DPANEL
    img = solid((DW, DH), DKEY)
    # The panel's outline: a rectangle whose corners are cut by a small step, hard-edged so
    # that every pixel is either panel or key colour.
    m = Image.new("L", (DW, DH), 0)
    d = ImageDraw.Draw(m)
    cut = 6
    d.polygon([(x0 + cut, y0), (x1 - cut, y0), (x1, y0 + cut), (x1, y1 - cut), (x1 - cut, y1),
               (x0 + cut, y1), (x0, y1 - cut), (x0, y0 + cut)], fill=255)
    panel = img_of(textured(DW, DH, (150, 108, 58), (96, 64, 32), seed=41, amount=0.12, blur=0.6))
    img.paste(panel, (0, 0), m)
    d = ImageDraw.Draw(img)
    # Body, then its darker shading under the band.
    d.rectangle((x0 + 3, DBAND_B + 1, x1 - 3, y1 - 3), fill=DBODY)
    for i in range(9):
        k = 0.55 + 0.05 * i
        d.line([(x0 + 3, DBAND_B + 1 + i), (x1 - 3, DBAND_B + 1 + i)],
               fill=tuple(int(c * k) for c in DBODY))
    # Title band with its light top edge and a bronze rule under it.
    band = img_of(textured(x1 - x0 - 5, DBAND_B - DBAND_T + 1, (112, 102, 90), (74, 66, 58),
                           seed=43, amount=0.08, blur=0.7))
    img.paste(band, (x0 + 3, DBAND_T))
    d.line([(x0 + 3, DBAND_T), (x1 - 3, DBAND_T)], fill=(196, 186, 164))
    d.line([(x0 + 3, DBAND_B), (x1 - 3, DBAND_B)], fill=(150, 108, 58))
    shade_text(img, ((x0 + x1) // 2, (DBAND_T + DBAND_B) // 2 + 1), "settings",
               font("DejaVuSerif-Bold.ttf", 13), (236, 228, 210), (196, 184, 160))
    # The frame's inner and outer edges, and an ornament at each corner.
    d.line([(x0 + 2, y0 + cut), (x0 + 2, y1 - cut)], fill=(206, 160, 96))
    d.line([(x1 - 2, y0 + cut), (x1 - 2, y1 - cut)], fill=(70, 46, 22))
    d.line([(x0 + cut, y1 - 2), (x1 - cut, y1 - 2)], fill=(70, 46, 22))
    for cx, cy in ((x0 + 6, y0 + 6), (x1 - 6, y0 + 6), (x0 + 6, y1 - 6), (x1 - 6, y1 - 6)):
        d.polygon([(cx, cy - 4), (cx + 4, cy), (cx, cy + 4), (cx - 4, cy)], fill=(214, 170, 98),
                  outline=(82, 54, 26))
        d.point((cx, cy), fill=(255, 230, 170))
    return img


# ---- everything ----------------------------------------------------------------------------

def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_art.py OUTPUT_FOLDER")
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    pictures = {}

    start = {s: start_button(s) for s in ("normal", "up", "down", "grey")}
    full = {s: bar_button("Full Check", s) for s in ("normal", "up", "down", "grey")}
    cancel = {s: bar_button("Cancel", s) for s in ("normal", "up", "down", "grey")}

    # The skin without any button first: buttons are opaque pictures, so their corners must be
    # the skin they stand on.
    _, base = make_skin({})
    close_bg = base.crop((CLOSE[0], CLOSE[1], CLOSE[0] + CLOSE[2], CLOSE[1] + CLOSE[3]))
    grey_close = close_button("grey", close_bg)
    grey = {
        "start": (START[0], START[1], START[2], START[3]),
        "full": FULLCHECK,
        "cancel": CANCEL,
    }
    overlay = {
        grey["start"]: start["grey"],
        grey["full"]: full["grey"],
        grey["cancel"]: cancel["grey"],
        CLOSE: (grey_close, Image.new("L", grey_close.size, 255)),
    }
    skin, base = make_skin(overlay)
    pictures["FMAIN_SKIN"] = skin

    def on_skin(box, colour_and_mask):
        x, y, w, h = box
        img = base.crop((x, y, x + w, y + h))
        colour, mask = colour_and_mask
        img.paste(colour, (0, 0), mask)
        return img

    for state, name in (("normal", "PIC"), ("up", "UP"), ("down", "DOWN")):
        pictures["START_" + name] = on_skin(START, start[state])
        pictures["FULLCHECK_" + name] = on_skin(FULLCHECK, full[state])
        pictures["CANCEL_" + name] = on_skin(CANCEL, cancel[state])
        pictures["CLOSE_" + name] = close_button(state, close_bg)
        sbg = base.crop((SETTINGS[0], SETTINGS[1], SETTINGS[0] + SETTINGS[2], SETTINGS[1] + SETTINGS[3]))
        pictures["SETTINGS_" + name] = settings_button(state, sbg)

    frame = draw_frame(lit=True)

    def frame_piece(box):
        x, y, w, h = box
        return frame.crop((x - 7, y - 36, x - 7 + w, y - 36 + h))

    pictures["FRAME_LEFT"] = frame_piece(FRAME_LEFT)
    pictures["FRAME_TOP"] = frame_piece(FRAME_TOP)
    pictures["FRAME_RIGHT"] = frame_piece(FRAME_RIGHT)

    pictures["FORM1_BACK"] = dialog_background()

    lines = ["// Made by forms/art/make_art.py; do not edit.", ""]
    for name in sorted(pictures):
        path = os.path.join(out, name.lower() + ".bmp")
        save_bmp(pictures[name], path)
        lines.append('%s BITMAP "%s"' % (name, path))
    write_cursor(cursor_image(), os.path.join(out, "duskmere.cur"))
    write_icon(icon_master(), os.path.join(out, "korvath.ico"))
    lines.append('DuskmereCursor CURSOR "%s"' % os.path.join(out, "duskmere.cur"))
    lines.append('MAINICON ICON "%s"' % os.path.join(out, "korvath.ico"))
    with open(os.path.join(out, "Pictures.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
