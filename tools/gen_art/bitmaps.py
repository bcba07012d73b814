#!/usr/bin/env python3
"""Pixel-exact artwork helpers for tools/gen_art.sh.

Sub-commands:
  small OUTDIR                      write the check-box pictures and the tree state strip
  png OUT BMP                       write a page rendered as a 24-bit BMP as the art's PNG
  ico OUT SIZE:RAW [SIZE:RAW ...]   build a multi-size .ico from raw RGBA renders
  verify OUTDIR                     check every PNG (the program's rules, the sizes) and the
                                    control areas of the skins

Only the standard library is used, so the output is byte-for-byte reproducible.
"""
import struct
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pngfile  # noqa: E402

WHITE = (255, 255, 255)
BODY = (236, 233, 216)

# Classic 7x7 check mark, '#' = mark pixel.
CHECK_7X7 = [
    "......#",
    ".....##",
    "#...###",
    "##.###.",
    "#####..",
    ".###...",
    "..#....",
]


# ---------------------------------------------------------------- PNG writing

def picture_of(pixels, five_bit=False):
    """pixels[y][x] = (r, g, b), y = 0 is the top row."""
    rows = [b"".join(bytes(p) for p in line) for line in pixels]
    return pngfile.Picture(len(pixels[0]), len(pixels), rows, five_bit)


def as_five_bit(pixels):
    """The colours a 16-bit (5-5-5) bitmap keeps of each pixel, as 8-bit values: each
    channel's top five bits, repeated into the low three, as the PNG format and the
    system's 16-to-24-bit conversion widen them."""
    return [[tuple(((c >> 3) << 3) | (c >> 5) for c in p) for p in line] for line in pixels]


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---------------------------------------------------------- check-box bitmaps

def check_box(with_mark):
    frame = (153, 153, 153)
    mark = (255, 122, 31)
    px = [[WHITE] * 12 for _ in range(12)]
    for y in range(12):
        for x in range(12):
            if x in (0, 11) or y in (0, 11):
                px[y][x] = frame
            elif x == 10 or y == 10:
                px[y][x] = WHITE
            else:
                # diagonal shading over the inner 9x9 area
                t = ((x - 1) + (y - 1)) / 16.0
                px[y][x] = lerp((221, 221, 221), (249, 249, 249), t)
    for (x, y) in ((0, 0), (11, 0), (0, 11), (11, 11)):
        px[y][x] = WHITE
    if with_mark:
        for dy, line in enumerate(CHECK_7X7):
            for dx, c in enumerate(line):
                if c == "#":
                    px[3 + dy][2 + dx] = mark
    return px


# ------------------------------------------------------------ tree state strip

def tree_states():
    blue = (24, 82, 132)
    green = (33, 165, 33)
    grey = (206, 198, 189)
    px = [[WHITE] * 96 for _ in range(16)]

    def cell(index, frame, shaded, mark):
        ox = index * 16
        for y in range(1, 14):
            for x in range(13):
                if x in (0, 12) or y in (1, 13):
                    c = frame
                elif shaded:
                    t = ((x - 1) + (y - 2)) / 20.0
                    c = lerp((220, 220, 214), WHITE, t)
                else:
                    c = WHITE
                px[y][ox + x] = c
        if mark:
            for dy, line in enumerate(CHECK_7X7):
                for dx, ch in enumerate(line):
                    if ch == "#":
                        px[4 + dy][ox + 3 + dx] = mark

    cell(1, blue, True, None)
    cell(2, blue, True, green)
    cell(3, grey, False, None)
    cell(4, grey, False, grey)
    cell(5, blue, False, grey)
    return px


def cmd_small(outdir):
    out = Path(outdir)
    out.mkdir(parents=True, exist_ok=True)
    (out / "check_141_on.png").write_bytes(pngfile.write(picture_of(check_box(True))))
    (out / "check_142_off.png").write_bytes(pngfile.write(picture_of(check_box(False))))
    (out / "tree_139_states.png").write_bytes(pngfile.write(picture_of(as_five_bit(tree_states()), five_bit=True)))


def cmd_png(out, bmp_path):
    """A page rendered as a 24-bit bottom-up BI_RGB BMP, written as the art's PNG."""
    data = Path(bmp_path).read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    size, width, height, _, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    stride = (width * 3 + 3) & ~3
    if data[:2] != b"BM" or size != 40 or height <= 0 or bpp != 24 or compression != 0 or \
            len(data) < offset + stride * height:
        sys.exit(f"{bmp_path}: not a 24-bit bottom-up BI_RGB BMP")
    rows = []
    for y in range(height):
        at = offset + (height - 1 - y) * stride
        bgr = data[at:at + 3 * width]
        rgb = bytearray(3 * width)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    Path(out).write_bytes(pngfile.write(pngfile.Picture(width, height, rows)))


# -------------------------------------------------------------------- icon

def png_bytes(size, rgba):
    raw = b"".join(b"\0" + rgba[y * size * 4:(y + 1) * size * 4] for y in range(size))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_dib(size, rgba):
    """32-bit BGRA DIB with AND mask, as stored inside an .ico entry."""
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = rgba[y * size * 4:(y + 1) * size * 4]
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def cmd_ico(out, entries):
    images = []
    for spec in entries:
        size_s, path = spec.split(":", 1)
        size = int(size_s)
        rgba = Path(path).read_bytes()
        if len(rgba) != size * size * 4:
            sys.exit(f"{path}: expected {size * size * 4} bytes of RGBA, got {len(rgba)}")
        blob = png_bytes(size, rgba) if size >= 256 else ico_dib(size, rgba)
        images.append((size, blob))
    images.sort()
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    table = b""
    for size, blob in images:
        dim = 0 if size >= 256 else size
        table += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    Path(out).write_bytes(head + table + b"".join(blob for _, blob in images))


# ------------------------------------------------------------------ checks

# name: (width, height, 16-bit, [(x, y, w, h, colour), ...] areas that must be plain)
EXPECTED = {
    "skin_129_welcome.png": (495, 359, False, []),
    "skin_130_terms.png": (495, 359, False, [(24, 118, 448, 174, WHITE)]),
    "skin_136_components.png": (495, 358, False, [
        (24, 81, 220, 104, WHITE), (259, 90, 200, 50, WHITE),
        (24, 190, 220, 12, BODY), (24, 205, 440, 100, WHITE)]),
    "skin_131_folder.png": (495, 360, False, []),
    "skin_135_installing.png": (495, 358, False, [(22, 245, 200, 12, BODY), (22, 267, 452, 18, BODY)]),
    "skin_132_finish.png": (494, 359, False, [(175, 135, 176, 48, WHITE)]),
    "check_141_on.png": (12, 12, False, []),
    "check_142_off.png": (12, 12, False, []),
    "tree_139_states.png": (96, 16, True, []),
}
BUTTONS = [(248, 327, 75, 23), (325, 327, 75, 23), (410, 327, 75, 23)]
MASK = (255, 0, 255)   # the tree's transparent colour: none of its pixels may have it


def plain(picture, x0, y0, w, h, colour):
    return sum(picture.pixel(x, y) != colour for y in range(y0, y0 + h) for x in range(x0, x0 + w))


def check_picture(name, picture, w, h, sixteen, areas):
    if (picture.width, picture.height, picture.five_bit) != (w, h, sixteen):
        return [f"{picture.width}x{picture.height}{' 16-bit' if picture.five_bit else ''}, "
                f"want {w}x{h}{' 16-bit' if sixteen else ''}"]
    errors = []
    checks = list(areas)
    if name.startswith("skin_"):
        checks += [(x, y, bw, bh, BODY) for (x, y, bw, bh) in BUTTONS]
        # the button row: body colour except for the product text at the left
        checks.append((240, 318, w - 240, h - 318, BODY))
    for (x, y, aw, ah, colour) in checks:
        n = plain(picture, x, y, aw, ah, colour)
        if n:
            errors.append(f"area ({x},{y},{aw},{ah}) has {n} pixels not {colour}")
    if sixteen:
        if any(picture.pixel(x, y) == MASK for y in range(h) for x in range(w)):
            errors.append("magenta pixel")
        if picture.rows != [b"".join(bytes(p) for p in line) for line in as_five_bit(
                [[picture.pixel(x, y) for x in range(w)] for y in range(h)])]:
            errors.append("colours a 16-bit bitmap does not keep")
    return errors


def cmd_verify(outdir):
    out = Path(outdir)
    failed = False
    for name, (w, h, sixteen, areas) in EXPECTED.items():
        path = out / name
        if not path.exists():
            print(f"  MISSING {name}")
            failed = True
            continue
        try:
            errors = check_picture(name, pngfile.read(str(path)), w, h, sixteen, areas)
        except pngfile.PngError as exc:
            errors = [str(exc)]
        if errors:
            failed = True
            print(f"  FAIL {name}: " + "; ".join(errors))
        else:
            print(f"  ok   {name:26s} {w}x{h} {'16' if sixteen else '24'}-bit, {path.stat().st_size} bytes")
    ico = out / "setup.ico"
    if ico.exists():
        data = ico.read_bytes()
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        sizes = []
        for i in range(count):
            wb, hb, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
            fmt = "png" if data[offset:offset + 4] == b"\x89PNG" else f"{bits}-bit"
            sizes.append(f"{wb or 256}({fmt})")
        if kind != 1 or sorted(s.split("(")[0] for s in sizes) != sorted(["16", "32", "48", "256"]):
            print(f"  FAIL setup.ico: {sizes}")
            failed = True
        else:
            print(f"  ok   {'setup.ico':26s} {' '.join(sizes)}, {len(data)} bytes")
    else:
        print("  MISSING setup.ico")
        failed = True
    if failed:
        sys.exit(1)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "small":
        cmd_small(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "png":
        cmd_png(sys.argv[2], sys.argv[3])
    elif len(sys.argv) >= 4 and sys.argv[1] == "ico":
        cmd_ico(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 3 and sys.argv[1] == "verify":
        cmd_verify(sys.argv[2])
    else:
        sys.exit(__doc__)
