#!/usr/bin/env python3
"""Draws the client's icons and writes them as .ico files (16x16 and 32x32, 32-bit with alpha)
plus an .rc that stores each under the name the icon lookup expects (upper case, "." -> "_").

Usage: make_icons.py OUT_DIR

Every picture is drawn here from a few shapes (polygons, ellipses, rectangles) on a 4x
supersampled canvas in a 32-unit coordinate system, then averaged down; nothing is taken from
elsewhere.
"""
import os
import struct
import sys

SS = 4  # supersampling factor


class Canvas:
    def __init__(self, size):
        self.size = size
        self.n = size * SS
        self.px = [[(0, 0, 0, 0)] * self.n for _ in range(self.n)]
        self.k = self.n / 32.0  # drawing units are 1/32 of the icon

    def _blend(self, x, y, c):
        r, g, b, a = c
        if a >= 255:
            self.px[y][x] = (r, g, b, 255)
            return
        R, G, B, A = self.px[y][x]
        na = a + A * (255 - a) // 255
        if na == 0:
            return
        f = a / na
        self.px[y][x] = (int(r * f + R * (1 - f)), int(g * f + G * (1 - f)), int(b * f + B * (1 - f)), na)

    def poly(self, pts, c):
        pts = [(x * self.k, y * self.k) for x, y in pts]
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.n, int(max(ys)) + 1)):
            cy = y + 0.5
            xs = []
            for i in range(len(pts)):
                (x1, y1), (x2, y2) = pts[i], pts[(i + 1) % len(pts)]
                if (y1 <= cy < y2) or (y2 <= cy < y1):
                    xs.append(x1 + (cy - y1) * (x2 - x1) / (y2 - y1))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(max(0, int(xs[i] + 0.5)), min(self.n, int(xs[i + 1] + 0.5))):
                    self._blend(x, y, c)

    def rect(self, x0, y0, x1, y1, c):
        self.poly([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], c)

    def box(self, x0, y0, x1, y1, fill, edge, w=1.0):
        self.rect(x0, y0, x1, y1, edge)
        self.rect(x0 + w, y0 + w, x1 - w, y1 - w, fill)

    def ellipse(self, cx, cy, rx, ry, c):
        k = self.k
        for y in range(max(0, int((cy - ry) * k)), min(self.n, int((cy + ry) * k) + 1)):
            for x in range(max(0, int((cx - rx) * k)), min(self.n, int((cx + rx) * k) + 1)):
                dx = ((x + 0.5) / k - cx) / rx
                dy = ((y + 0.5) / k - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self._blend(x, y, c)

    def ring(self, cx, cy, rx, ry, w, edge, fill):
        self.ellipse(cx, cy, rx, ry, edge)
        self.ellipse(cx, cy, rx - w, ry - w, fill)

    def line(self, x0, y0, x1, y1, w, c):
        dx, dy = x1 - x0, y1 - y0
        l = (dx * dx + dy * dy) ** 0.5 or 1
        nx, ny = -dy / l * w / 2, dx / l * w / 2
        self.poly([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], c)

    def pixels(self):
        out = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                acc = [0, 0, 0, 0]
                for sy in range(SS):
                    for sx in range(SS):
                        r, g, b, a = self.px[y * SS + sy][x * SS + sx]
                        acc[0] += r * a
                        acc[1] += g * a
                        acc[2] += b * a
                        acc[3] += a
                a = acc[3]
                if a == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((acc[0] // a, acc[1] // a, acc[2] // a, a // (SS * SS)))
            out.append(row)
        return out


# --- palette
EDGE = (60, 60, 60, 255)
YELLOW = (250, 210, 90, 255)
YELLOW_D = (215, 160, 40, 255)
WHITE = (255, 255, 255, 255)
PAPER = (250, 250, 245, 255)
BLUE = (40, 100, 200, 255)
BLUE_L = (120, 180, 240, 255)
GREEN = (60, 160, 80, 255)
GREY = (170, 170, 170, 255)
GREY_D = (110, 110, 110, 255)
GREY_L = (215, 215, 215, 255)
RED = (200, 50, 40, 255)
BLACK = (20, 20, 20, 255)


def closed_folder(c):
    c.poly([(2, 8), (12, 8), (14, 11), (30, 11), (30, 27), (2, 27)], EDGE)
    c.poly([(3, 9), (11.5, 9), (13.5, 12), (29, 12), (29, 26), (3, 26)], YELLOW_D)
    c.rect(3, 14, 29, 26, YELLOW)


def open_folder(c):
    c.poly([(2, 8), (12, 8), (14, 11), (27, 11), (27, 27), (2, 27)], EDGE)
    c.poly([(3, 9), (11.5, 9), (13.5, 12), (26, 12), (26, 26), (3, 26)], YELLOW_D)
    c.rect(6, 6, 24, 20, EDGE)
    c.rect(7, 7, 23, 20, PAPER)
    c.poly([(7, 15), (31, 15), (26, 27), (2, 27)], EDGE)
    c.poly([(8, 16), (29.5, 16), (25.3, 26), (3.5, 26)], YELLOW)


def document(c, x0=7, y0=3, x1=25, y1=29):
    c.poly([(x0, y0), (x1 - 6, y0), (x1, y0 + 6), (x1, y1), (x0, y1)], EDGE)
    c.poly([(x0 + 1, y0 + 1), (x1 - 6.5, y0 + 1), (x1 - 1, y0 + 6.5), (x1 - 1, y1 - 1), (x0 + 1, y1 - 1)], PAPER)
    c.poly([(x1 - 6, y0), (x1, y0 + 6), (x1 - 6, y0 + 6)], GREY)


def files(c):
    document(c, 4, 2, 20, 24)
    document(c, 11, 7, 28, 30)
    for y in (15, 18, 21, 24):
        c.rect(14, y, 25, y + 1.2, BLUE_L)


def globe(c, cx=16, cy=16, r=13):
    c.ellipse(cx, cy, r + 1, r + 1, EDGE)
    c.ellipse(cx, cy, r, r, BLUE)
    c.poly([(cx - 9, cy - 7), (cx - 3, cy - 10), (cx + 1, cy - 6), (cx - 2, cy - 1), (cx - 1, cy + 5),
            (cx - 6, cy + 8), (cx - 8, cy + 1), (cx - 11, cy - 2)], GREEN)
    c.poly([(cx + 3, cy - 1), (cx + 9, cy - 5), (cx + 12, cy + 1), (cx + 8, cy + 8), (cx + 4, cy + 6)], GREEN)
    c.ring(cx, cy, r * 0.45, r, 0.6, (255, 255, 255, 110), (0, 0, 0, 0))
    c.rect(cx - r + 1, cy - 0.3, cx + r - 1, cy + 0.3, (255, 255, 255, 110))


def network(c):
    globe(c, 16, 16, 12)
    for x, y in ((2, 2), (22, 2), (2, 22), (22, 22)):
        c.box(x, y, x + 8, y + 7, BLUE_L, EDGE)


def monitor(c, x, y, w, h):
    c.box(x, y, x + w, y + h, BLUE_L, EDGE, 1.2)
    c.rect(x + w / 2 - 1.5, y + h, x + w / 2 + 1.5, y + h + 2, EDGE)
    c.rect(x + w / 2 - 4, y + h + 2, x + w / 2 + 4, y + h + 3.2, EDGE)


def app_icon(c):
    globe(c, 20, 12, 10)
    monitor(c, 2, 15, 15, 10)
    c.line(14, 22, 22, 21, 1.6, (220, 60, 40, 255))


def floppy(c):
    c.poly([(4, 4), (25, 4), (28, 7), (28, 28), (4, 28)], EDGE)
    c.poly([(5, 5), (24.5, 5), (27, 7.5), (27, 27), (5, 27)], (70, 90, 150, 255))
    c.rect(9, 5, 22, 13, GREY_L)
    c.rect(18, 6, 21, 12, GREY_D)
    c.rect(8, 17, 24, 27, PAPER)


def hard_disk(c):
    c.poly([(2, 14), (8, 8), (30, 8), (30, 18), (26, 24), (2, 24)], EDGE)
    c.poly([(3, 14.5), (8.5, 9), (29, 9), (25.5, 14.5)], GREY_L)
    c.poly([(25.5, 14.5), (29, 9), (29, 18), (25.5, 23)], GREY_D)
    c.rect(3, 15, 25.5, 23, GREY)
    c.rect(19, 18, 23, 20, (60, 200, 60, 255))


def net_drive(c):
    hard_disk(c)
    c.rect(13, 24, 15, 28, EDGE)
    c.rect(4, 28, 24, 30, EDGE)


def cd(c):
    c.ellipse(16, 16, 14, 14, EDGE)
    c.ellipse(16, 16, 13, 13, (215, 220, 235, 255))
    c.poly([(16, 16), (16, 3), (26, 7)], (190, 220, 250, 255))
    c.poly([(16, 16), (5, 24), (3, 17)], (250, 220, 190, 255))
    c.ellipse(16, 16, 4, 4, EDGE)
    c.ellipse(16, 16, 2.5, 2.5, (245, 245, 245, 255))


def ram(c):
    c.box(2, 10, 30, 22, (40, 130, 60, 255), EDGE)
    for x in (5, 12, 19):
        c.rect(x, 12.5, x + 5, 19.5, BLACK)
    for x in range(4, 29, 3):
        c.rect(x, 22, x + 1.5, 25, (220, 180, 60, 255))


def up_folder(c):
    closed_folder(c)
    c.poly([(16, 13), (23, 20), (19, 20), (19, 25), (13, 25), (13, 20), (9, 20)], EDGE)
    c.poly([(16, 14.5), (21, 19.2), (18, 19.2), (18, 24), (14, 24), (14, 19.2), (11, 19.2)], (40, 160, 60, 255))


ICONS = {
    "Net04.ico": app_icon,
    "openfold.ico": open_folder,
    "clsdfold.ico": closed_folder,
    "files10.ico": files,
    "entirnet.ico": network,
    "SMDSKET.ICO": floppy,
    "SMDISK.ICO": hard_disk,
    "SMNETWRK.ICO": net_drive,
    "SMCD.ICO": cd,
    "SMRAM.ICO": ram,
    "SMOPEN.ICO": open_folder,
    "SMCLOSE.ICO": closed_folder,
    "DIRPREV.ICO": up_folder,
}


def ico_image(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    andmask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        andmask += bits
    return header + bytes(xor) + bytes(andmask)


def write_ico(path, draw):
    images = []
    for size in (16, 32):
        c = Canvas(size)
        draw(c)
        images.append((size, ico_image(c.pixels())))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def resource_name(name):
    return name.upper().replace(".", "_")


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    lines = ["// Generated by tools/make_icons.py: the client's icons under their lookup names."]
    for name, draw in ICONS.items():
        file_name = name.lower()
        write_ico(os.path.join(out_dir, file_name), draw)
        lines.append('%s ICON "%s"' % (resource_name(name), os.path.abspath(os.path.join(out_dir, file_name))))
    with open(os.path.join(out_dir, "icons.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
