#!/usr/bin/env python3
"""Pixel-exact artwork helpers for tools/gen_art.sh.

Sub-commands:
  small OUTDIR                      write the check-box bitmaps and the tree state strip
  ico OUT SIZE:RAW [SIZE:RAW ...]   build a multi-size .ico from raw RGBA renders
  verify OUTDIR                     check every BMP header and the control areas of the skins

Only the standard library is used, so the output is byte-for-byte reproducible.
"""
import struct
import sys
import zlib
from pathlib import Path

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


# ---------------------------------------------------------------- BMP writing

def bmp_bytes(width, height, pixels, bpp):
    """pixels[y][x] = (r, g, b), y = 0 is the top row. Writes a bottom-up BI_RGB BMP."""
    if bpp == 24:
        stride = (width * 3 + 3) & ~3
    elif bpp == 16:
        stride = (width * 2 + 3) & ~3
    else:
        raise ValueError(bpp)
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixels[y][x]
            if bpp == 24:
                row += bytes((b, g, r))
            else:
                row += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


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
    (out / "check_141_on.bmp").write_bytes(bmp_bytes(12, 12, check_box(True), 24))
    (out / "check_142_off.bmp").write_bytes(bmp_bytes(12, 12, check_box(False), 24))
    (out / "tree_139_states.bmp").write_bytes(bmp_bytes(96, 16, tree_states(), 16))


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

# name: (width, height, bpp, [(x, y, w, h, colour), ...] areas that must be plain)
EXPECTED = {
    "skin_129_welcome.bmp": (495, 359, 24, []),
    "skin_130_terms.bmp": (495, 359, 24, [(24, 118, 448, 174, WHITE)]),
    "skin_136_components.bmp": (495, 358, 24, [
        (24, 81, 220, 104, WHITE), (259, 90, 200, 50, WHITE),
        (24, 190, 220, 12, BODY), (24, 205, 440, 100, WHITE)]),
    "skin_131_folder.bmp": (495, 360, 24, []),
    "skin_135_installing.bmp": (495, 358, 24, [(22, 245, 200, 12, BODY), (22, 267, 452, 18, BODY)]),
    "skin_132_finish.bmp": (494, 359, 24, [(175, 135, 176, 48, WHITE)]),
    "check_141_on.bmp": (12, 12, 24, []),
    "check_142_off.bmp": (12, 12, 24, []),
    "tree_139_states.bmp": (96, 16, 16, []),
}
BUTTONS = [(248, 327, 75, 23), (325, 327, 75, 23), (410, 327, 75, 23)]


def read_bmp(path):
    data = path.read_bytes()
    errors = []
    if data[:2] != b"BM":
        return None, ["not a BMP"]
    _, fsize, _, _, offbits = struct.unpack_from("<2sIHHI", data, 0)
    hsize, w, h, planes, bpp, comp, isize, _, _, clrused, _ = struct.unpack_from("<IiiHHIIiiII", data, 14)
    stride = ((w * bpp // 8) + 3) & ~3
    if hsize != 40:
        errors.append(f"header size {hsize}, want 40")
    if planes != 1:
        errors.append(f"planes {planes}")
    if comp != 0:
        errors.append(f"compression {comp}, want 0 (BI_RGB)")
    if h <= 0:
        errors.append("not bottom-up")
    if clrused != 0 or offbits != 54:
        errors.append(f"unexpected palette/offset (clrused {clrused}, offset {offbits})")
    if fsize != len(data) or len(data) != 54 + stride * abs(h):
        errors.append(f"file size {len(data)} (header says {fsize}, want {54 + stride * abs(h)})")
    if isize not in (0, stride * abs(h)):
        errors.append(f"image size field {isize}")
    info = dict(w=w, h=h, bpp=bpp, size=len(data), data=data, stride=stride)
    return info, errors


def pixel(info, x, y):
    row = info["h"] - 1 - y
    off = 54 + row * info["stride"]
    if info["bpp"] == 24:
        b, g, r = info["data"][off + x * 3:off + x * 3 + 3]
        return (r, g, b)
    v, = struct.unpack_from("<H", info["data"], off + x * 2)
    return (((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3)


def plain(info, x0, y0, w, h, colour):
    bad = 0
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            if pixel(info, x, y) != colour:
                bad += 1
    return bad


def cmd_verify(outdir):
    out = Path(outdir)
    failed = False
    for name, (w, h, bpp, areas) in EXPECTED.items():
        path = out / name
        if not path.exists():
            print(f"  MISSING {name}")
            failed = True
            continue
        info, errors = read_bmp(path)
        if info:
            if (info["w"], info["h"], info["bpp"]) != (w, h, bpp):
                errors.append(f"{info['w']}x{info['h']}x{info['bpp']}, want {w}x{h}x{bpp}")
            else:
                checks = list(areas)
                if name.startswith("skin_"):
                    checks += [(x, y, bw, bh, BODY) for (x, y, bw, bh) in BUTTONS]
                    # the button row: body colour except for the product text at the left
                    checks.append((240, 318, w - 240, h - 318, BODY))
                for (x, y, aw, ah, colour) in checks:
                    n = plain(info, x, y, aw, ah, colour)
                    if n:
                        errors.append(f"area ({x},{y},{aw},{ah}) has {n} pixels not {colour}")
                if name == "tree_139_states.bmp":
                    for yy in range(h):
                        for xx in range(w):
                            if pixel(info, xx, yy) == (248, 0, 248):
                                errors.append("magenta pixel")
                                break
        if errors:
            failed = True
            print(f"  FAIL {name}: " + "; ".join(errors))
        else:
            print(f"  ok   {name:26s} {w}x{h} {bpp}-bit BI_RGB, {info['size']} bytes")
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
    elif len(sys.argv) >= 4 and sys.argv[1] == "ico":
        cmd_ico(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 3 and sys.argv[1] == "verify":
        cmd_verify(sys.argv[2])
    else:
        sys.exit(__doc__)
