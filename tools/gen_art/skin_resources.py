#!/usr/bin/env python3
"""The art as the build embeds it (called by cmake/Art.cmake, standard library only).

  skin_resources.py png STAMP PNG...     checks and decodes each PNG under the setup
                                         program's rules (tools/gen_art/pngfile.py); writes
                                         STAMP when all pass
  skin_resources.py bmp OUTDIR PNG...    checks each PNG and writes OUTDIR/<name>.bmp: the
                                         uncompressed BITMAP resources of SKIN_FORMAT=bmp,
                                         24-bit, or 16-bit (5-5-5) for a picture whose sBIT
                                         gives 5 bits per colour

A PNG that breaks a rule stops the build with its name and the reason, rather than
giving a Setup.exe that refuses to start.
"""
import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pngfile  # noqa: E402


def bmp_bytes(picture):
    """A bottom-up BI_RGB BMP file of the picture: 24-bit, or 16-bit 5-5-5 when five_bit."""
    bpp = 16 if picture.five_bit else 24
    stride = (picture.width * bpp // 8 + 3) & ~3
    rows = []
    for row in reversed(picture.rows):
        out = bytearray()
        for x in range(picture.width):
            r, g, b = row[3 * x:3 * x + 3]
            if bpp == 24:
                out += bytes((b, g, r))
            else:
                out += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        out += b"\0" * (stride - len(out))
        rows.append(bytes(out))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, picture.width, picture.height, 1, bpp, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


def main(argv):
    if len(argv) < 3 or argv[0] not in ("png", "bmp"):
        sys.exit(__doc__)
    mode, target, sources = argv[0], Path(argv[1]), [Path(p) for p in argv[2:]]
    failed = False
    for source in sources:
        try:
            picture = pngfile.read(str(source))
            if mode == "bmp":
                target.mkdir(parents=True, exist_ok=True)
                out = target / (source.stem + ".bmp")
                data = bmp_bytes(picture)
                if not out.exists() or out.read_bytes() != data:
                    out.write_bytes(data)
        except (OSError, pngfile.PngError) as exc:
            print(f"{source}: {exc}", file=sys.stderr)
            failed = True
    if failed:
        sys.exit(1)
    if mode == "png":
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text("".join(f"{p.name}\n" for p in sources))


if __name__ == "__main__":
    main(sys.argv[1:])
