"""PNG files of the installer's art: reading them under the rules the setup program applies
(framework/PngCheck.cpp), and writing them the one way tools/gen_art.sh makes them.

Standard library only. The rules, as the program's: every chunk whole, in order and with
its right CRC; 8-bit RGB, 1- to 8-bit grey, or a 1- to 8-bit palette; not interlaced; no
transparency (no alpha channel, no tRNS); sides of 1 to MAX_SIDE pixels. Ancillary chunks
are skipped, except sBIT: an RGB or palette picture whose sBIT says 5 bits per colour is a
16-bit (5-5-5) picture, as the options tree's images are.
"""
import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
MAX_SIDE = 2048
GREY, RGB, PALETTE, GREY_ALPHA, RGB_ALPHA = 0, 2, 3, 4, 6
VALID_DEPTHS = {GREY: (1, 2, 4, 8, 16), RGB: (8, 16), PALETTE: (1, 2, 4, 8), GREY_ALPHA: (8, 16),
                RGB_ALPHA: (8, 16)}


class PngError(ValueError):
    pass


class Picture:
    """width, height, rows (top row first, each a bytes of R, G, B triples), five_bit."""

    def __init__(self, width, height, rows, five_bit=False):
        self.width, self.height, self.rows, self.five_bit = width, height, rows, five_bit

    def pixel(self, x, y):
        row = self.rows[y]
        return tuple(row[3 * x:3 * x + 3])


def _chunks(data):
    if data[:8] != SIGNATURE:
        raise PngError("not a PNG file")
    pos = 8
    while pos < len(data):
        if len(data) - pos < 12:
            raise PngError("cut short")
        length, kind = struct.unpack_from(">I4s", data, pos)
        if length > 0x7FFFFFFF or length > len(data) - pos - 12:
            raise PngError("cut short")
        if not kind.isalpha() or not kind.isascii():
            raise PngError(f"chunk type {kind!r} is not four letters")
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack_from(">I", data, pos + 8 + length)
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            raise PngError(f"the checksum of a {kind.decode()} chunk is wrong")
        yield kind.decode(), body
        pos += 12 + length


def read_info(data):
    """Checks a PNG file as the program does; returns (header dict, palette, idat bytes)."""
    header = None
    palette = None
    idat = []
    state = "start"   # start, header, data, after-data, end
    for kind, body in _chunks(data):
        if state == "end":
            raise PngError("data after IEND")
        if (kind == "IHDR") != (header is None):
            raise PngError("IHDR must come first, once")
        if state == "data" and kind != "IDAT":
            state = "after-data"
        if kind == "IHDR":
            header = _read_header(body)
            state = "header"
        elif kind == "IDAT":
            if state == "after-data":
                raise PngError("IDAT chunks must follow one another")
            if header["type"] == PALETTE and palette is None:
                raise PngError("a palette picture needs PLTE before its data")
            idat.append(body)
            state = "data"
        elif kind == "PLTE":
            if palette is not None or state != "header":
                raise PngError("PLTE misplaced or repeated")
            palette = _read_palette(body, header)
        elif kind == "IEND":
            if body or state != "after-data":
                raise PngError("IEND without image data, or with data of its own")
            state = "end"
        elif kind == "tRNS":
            raise PngError("transparency (tRNS) is not taken: the art is opaque")
        elif kind == "sBIT":
            if palette is not None or state != "header":
                raise PngError("sBIT must come before PLTE and IDAT")
            header["five_bit"] = _read_sbit(body, header)
        elif not kind[0].islower():
            raise PngError(f"unknown critical chunk {kind}")
    if state != "end":
        raise PngError("cut short (no IEND)")
    return header, palette, b"".join(idat)


def _read_header(body):
    if len(body) != 13:
        raise PngError("IHDR of the wrong length")
    width, height, depth, kind, compression, filtering, interlace = struct.unpack(">IIBBBBB", body)
    if (not 0 < width <= 0x7FFFFFFF or not 0 < height <= 0x7FFFFFFF or depth not in VALID_DEPTHS.get(kind, ())
            or compression or filtering or interlace > 1):
        raise PngError("invalid IHDR")
    if kind in (GREY_ALPHA, RGB_ALPHA):
        raise PngError("an alpha channel is not taken: save the picture without transparency")
    if depth == 16:
        raise PngError("16 bits per sample are not taken: save with 8")
    if interlace:
        raise PngError("interlaced pictures are not taken: save without interlacing")
    if width > MAX_SIDE or height > MAX_SIDE:
        raise PngError(f"{width} x {height} pixels: at most {MAX_SIDE} each way")
    return {"width": width, "height": height, "depth": depth, "type": kind, "five_bit": False}


def _read_palette(body, header):
    entries = len(body) // 3
    if (header["type"] == GREY or len(body) % 3 or not 0 < entries <= 256
            or (header["type"] == PALETTE and entries > 1 << header["depth"])):
        raise PngError("a PLTE chunk that does not fit the picture")
    return [tuple(body[3 * i:3 * i + 3]) for i in range(entries)]


def _read_sbit(body, header):
    channels = 1 if header["type"] == GREY else 3
    sample_depth = 8 if header["type"] == PALETTE else header["depth"]
    if len(body) != channels or any(not 0 < b <= sample_depth for b in body):
        raise PngError("an invalid sBIT chunk")
    return channels == 3 and tuple(body) == (5, 5, 5)


def read(path_or_bytes):
    """Checks and decodes a PNG into a Picture (RGB rows), under the program's rules."""
    data = path_or_bytes if isinstance(path_or_bytes, bytes) else open(path_or_bytes, "rb").read()
    header, palette, idat = read_info(data)
    width, height, depth, kind = header["width"], header["height"], header["depth"], header["type"]
    channels = 3 if kind == RGB else 1
    bits_per_pixel = depth * channels
    row_bytes = (width * bits_per_pixel + 7) // 8
    step = max(1, bits_per_pixel // 8)
    try:
        raw = zlib.decompress(idat)
    except zlib.error as exc:
        raise PngError(f"damaged image data ({exc})") from None
    if len(raw) < height * (row_bytes + 1):
        raise PngError("too little image data")
    rows = []
    previous = bytearray(row_bytes)
    for y in range(height):
        at = y * (row_bytes + 1)
        row = _unfilter(raw[at], bytearray(raw[at + 1:at + 1 + row_bytes]), previous, step)
        rows.append(_to_rgb(row, width, depth, kind, palette))
        previous = row
    return Picture(width, height, rows, header["five_bit"])


def _unfilter(kind, row, previous, step):
    if kind == 0:
        return row
    if kind == 1:
        for i in range(step, len(row)):
            row[i] = (row[i] + row[i - step]) & 0xFF
    elif kind == 2:
        for i in range(len(row)):
            row[i] = (row[i] + previous[i]) & 0xFF
    elif kind == 3:
        for i in range(len(row)):
            left = row[i - step] if i >= step else 0
            row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
    elif kind == 4:
        for i in range(len(row)):
            a = row[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            row[i] = (row[i] + _paeth(a, b, c)) & 0xFF
    else:
        raise PngError(f"unknown row filter {kind}")
    return row


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _to_rgb(row, width, depth, kind, palette):
    if kind == RGB:
        return bytes(row[:3 * width])
    samples = list(row) if depth == 8 else [
        (row[(x * depth) // 8] >> (8 - depth - (x * depth) % 8)) & ((1 << depth) - 1) for x in range(width)]
    out = bytearray()
    for v in samples[:width]:
        if kind == PALETTE:
            if v >= len(palette):
                raise PngError("a pixel names a colour the palette does not have")
            out += bytes(palette[v])
        else:
            g = v * 255 // ((1 << depth) - 1)
            out += bytes((g, g, g))
    return bytes(out)


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write(picture):
    """The PNG bytes of a Picture as gen_art.sh makes them: 8-bit RGB, zlib level 9, and no
    ancillary chunk but sBIT for a 16-bit picture; the rows either all unfiltered or each
    with the filter that leaves the smallest sum of differences, whichever compresses
    better (flat art does best unfiltered). The same picture always gives the same bytes."""
    unfiltered = b"".join(b"\0" + row for row in picture.rows)
    filtered = bytearray()
    previous = bytes(3 * picture.width)
    for row in picture.rows:
        filtered += _best_filter(row, previous)
        previous = row
    data = min((zlib.compress(unfiltered, 9), zlib.compress(bytes(filtered), 9)), key=len)
    head = struct.pack(">IIBBBBB", picture.width, picture.height, 8, RGB, 0, 0, 0)
    body = _chunk(b"IHDR", head)
    if picture.five_bit:
        body += _chunk(b"sBIT", bytes((5, 5, 5)))
    body += _chunk(b"IDAT", data) + _chunk(b"IEND", b"")
    return SIGNATURE + body


def _best_filter(row, previous):
    n = len(row)
    left = bytes(3) + row[:n - 3]
    up_left = bytes(3) + previous[:n - 3]
    candidates = [
        bytes(row),
        bytes((row[i] - left[i]) & 0xFF for i in range(n)),
        bytes((row[i] - previous[i]) & 0xFF for i in range(n)),
        bytes((row[i] - ((left[i] + previous[i]) >> 1)) & 0xFF for i in range(n)),
        bytes((row[i] - _paeth(left[i], previous[i], up_left[i])) & 0xFF for i in range(n)),
    ]
    cost = [sum(b if b < 128 else 256 - b for b in c) for c in candidates]
    best = cost.index(min(cost))
    return bytes((best,)) + candidates[best]
