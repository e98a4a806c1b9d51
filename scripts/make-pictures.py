#!/usr/bin/env python3
"""Draws Varnow's icons and browse-button bitmaps in the 16-colour VGA palette
and writes them as .ico and .bmp files into res/."""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = -1  # transparent, icons only

# Letters of the glyph drawings below.
GLYPH_COLOURS = {'k': BLACK, 'w': WHITE, 'y': YELLOW, 'o': OLIVE, 'g': GRAY,
                 's': SILVER, 'n': NAVY, 'b': BLUE, 'l': LIME, '.': None}

FOLDER = [
    "..kkkkk.........",
    ".kwyyyyk........",
    "kwyyyyyykkkkkkk.",
    "kwwwwwwwwwwwwwyk",
    "kwyyyyyyyyyyyyok",
    "kwyyyyyyyyyyyyok",
    "kwyyyyyyyyyyyyok",
    "kwyyyyyyyyyyyyok",
    "kwyyyyyyyyyyyyok",
    "kwyyyyyyyyyyyyok",
    "kyoooooooooooook",
    "kkkkkkkkkkkkkkkk",
]

DOCUMENT = [
    "kkkkkkkk...",
    "kwwwwwwkk..",
    "kwwwwwwkwk.",
    "kwwwwwwkkkk",
    "kwggggwwwwk",
    "kwwwwwwwwwk",
    "kwgggggggwk",
    "kwwwwwwwwwk",
    "kwgggggggwk",
    "kwwwwwwwwwk",
    "kwggggggwwk",
    "kwwwwwwwwwk",
    "kkkkkkkkkkk",
]


def canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def fill(image, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            image[y][x] = colour


def frame(image, x0, y0, x1, y1, colour):
    fill(image, x0, y0, x1, y0, colour)
    fill(image, x0, y1, x1, y1, colour)
    fill(image, x0, y0, x0, y1, colour)
    fill(image, x1, y0, x1, y1, colour)


def bevel(image, inset, top_left, bottom_right):
    width, height = len(image[0]), len(image)
    x0, y0, x1, y1 = inset, inset, width - 1 - inset, height - 1 - inset
    fill(image, x0, y1, x1, y1, bottom_right)
    fill(image, x1, y0, x1, y1, bottom_right)
    fill(image, x0, y0, x1 - 1, y0, top_left)
    fill(image, x0, y0, x0, y1 - 1, top_left)


def stamp(image, glyph, x0, y0):
    for dy, row in enumerate(glyph):
        for dx, letter in enumerate(row):
            colour = GLYPH_COLOURS[letter]
            if colour is not None:
                image[y0 + dy][x0 + dx] = colour


def button(width, height, glyph, look):
    """A push button face with the glyph centred: 'up', 'down' (pressed) or
    'focus' (raised, with a dotted focus rectangle)."""
    image = canvas(width, height, SILVER)
    if look == 'down':
        bevel(image, 0, BLACK, WHITE)
        bevel(image, 1, GRAY, SILVER)
    else:
        bevel(image, 0, WHITE, BLACK)
        bevel(image, 1, SILVER, GRAY)
    gx = (width - len(glyph[0])) // 2
    gy = (height - len(glyph)) // 2
    shift = 1 if look == 'down' else 0
    stamp(image, glyph, gx + shift, gy + shift)
    if look == 'focus':
        for x in range(2, width - 2):
            if x % 2 == 0:
                image[2][x] = BLACK
                image[height - 3][x] = BLACK
        for y in range(2, height - 2):
            if y % 2 == 0:
                image[y][2] = BLACK
                image[y][width - 3] = BLACK
    return image


def program_icon(size):
    """A printer taking in a printed page: what the program does."""
    image = canvas(size, size, CLEAR)
    s = size / 32.0

    def box(x0, y0, x1, y1, body, edge=BLACK):
        fill(image, round(x0 * s), round(y0 * s), round(x1 * s), round(y1 * s), body)
        frame(image, round(x0 * s), round(y0 * s), round(x1 * s), round(y1 * s), edge)

    box(8, 1, 23, 17, WHITE)  # the page going in
    for y in (5, 8, 11, 14):
        if size >= 32 or y in (5, 11):
            fill(image, round(10 * s), round(y * s), round(21 * s), round(y * s), NAVY)
    box(2, 15, 29, 27, SILVER)  # the printer
    fill(image, round(3 * s), round(16 * s), round(28 * s), round(16 * s), WHITE)
    fill(image, round(6 * s), round(19 * s), round(25 * s), round(19 * s), BLACK)
    fill(image, round(24 * s), round(23 * s), round(26 * s), round(24 * s), LIME)
    box(7, 27, 24, 30, WHITE)  # the page coming out
    return image


def tray_icon(size, warning=False):
    """A blue disc with a white arrow: the relay at work, told apart from the
    program icon at a glance in the notification area. The warning variant
    carries a yellow triangle with an exclamation mark in its lower right
    corner, so the disc stays recognisable while a trouble stands."""
    image = canvas(size, size, CLEAR)
    s = size / 32.0
    centre, radius = 15.5 * s, 15.0 * s
    for y in range(size):
        for x in range(size):
            d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            if d <= radius - 1.2 * s:
                image[y][x] = BLUE
            elif d <= radius:
                image[y][x] = NAVY
    fill(image, round(6 * s), round(13 * s), round(18 * s), round(18 * s), WHITE)  # arrow shaft
    for i in range(round(9 * s)):  # arrow head
        fill(image, round(18 * s) + i, round(7 * s) + i, round(18 * s) + i, round(24 * s) - i, WHITE)
    if warning:
        warning_mark(image)
    return image


def warning_mark(image):
    """A yellow triangle outlined in black, point up, in the lower right
    corner, with a black exclamation mark."""
    size = len(image)
    height = size // 2 + 1
    width = 2 * round(height * 0.6) + 1  # odd: the point is one pixel
    centre = size - 1 - width // 2
    top = size - height
    for row in range(height):
        half = round(row * (width // 2) / (height - 1))
        y = top + row
        fill(image, centre - half, y, centre + half, y, YELLOW)
        image[y][centre - half] = BLACK
        image[y][centre + half] = BLACK
    fill(image, centre - width // 2, size - 1, centre + width // 2, size - 1, BLACK)
    stroke = 1 if size >= 32 else 0
    bar_top, dot = top + height // 3, size - 1 - max(2, height // 6)
    fill(image, centre - stroke, bar_top, centre + stroke, dot - 2 - stroke, BLACK)
    fill(image, centre - stroke, dot - stroke, centre + stroke, dot, BLACK)


def rows_4bpp(image):
    width = len(image[0])
    stride = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for row in reversed(image):
        line = bytearray()
        for x in range(0, width, 2):
            hi = max(row[x], 0)
            lo = max(row[x + 1], 0) if x + 1 < width else 0
            line.append((hi << 4) | lo)
        out += line.ljust(stride, b'\0')
    return bytes(out)


def rows_mask(image):
    width = len(image[0])
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(image):
        line = bytearray((width + 7) // 8)
        for x, colour in enumerate(row):
            if colour == CLEAR:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line.ljust(stride, b'\0')
    return bytes(out)


def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 16)


def write_bmp(path, image):
    pixels = rows_4bpp(image)
    header_size = 14 + 40 + 64
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', header_size + len(pixels), 0, 0, header_size))
        f.write(info_header(len(image[0]), len(image), len(pixels)))
        f.write(palette_bytes())
        f.write(pixels)


def write_ico(path, images):
    blobs = []
    for image in images:
        xor, mask = rows_4bpp(image), rows_mask(image)
        size = len(image)
        blobs.append(info_header(size, size * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask)
    offset = 6 + 16 * len(images)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)))
        for image, blob in zip(images, blobs):
            size = len(image)
            f.write(struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset))
            offset += len(blob)
        for blob in blobs:
            f.write(blob)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
    for suffix, look in (('U', 'up'), ('D', 'down'), ('F', 'focus')):
        write_bmp(os.path.join(res, 'DIR_SET%s.bmp' % suffix), button(24, 22, FOLDER, look))
        write_bmp(os.path.join(res, 'REF_SET%s.bmp' % suffix), button(22, 21, DOCUMENT, look))
    write_ico(os.path.join(res, 'Varnow.ico'), [program_icon(32), program_icon(16)])
    write_ico(os.path.join(res, 'Tray.ico'), [tray_icon(32), tray_icon(16)])
    write_ico(os.path.join(res, 'TrayWarning.ico'), [tray_icon(32, True), tray_icon(16, True)])


if __name__ == '__main__':
    main()
