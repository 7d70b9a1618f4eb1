"""Windows icon files: the window icons as one .ico for the Windows build's resources.

Each image is stored the classic way (32-bit BGRA DIB with its AND mask), which every Windows
version and resource compiler reads. make_assets.py writes assets/veldrin.ico beside the icon
PNGs; run on its own, this module makes it again from the committed PNGs:
    /usr/bin/python3 tools/assetgen/ico.py
"""
import os
import struct
import sys
import zlib


def _dib(width, height, rgba):
    """One image: header, bottom-up BGRA rows, then the mask (set = transparent)."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for y in reversed(range(height)):
        row = rgba[y * width * 4:(y + 1) * width * 4]
        bits = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[x * 4:x * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def encode_ico(images):
    """images: (width, height, RGBA bytes top row first) for each size, largest first."""
    dibs = [_dib(w, h, bytes(rgba)) for w, h, rgba in images]
    out = struct.pack("<HHH", 0, 1, len(dibs))
    offset = 6 + 16 * len(dibs)
    for (w, h, _), dib in zip(images, dibs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(dib), offset)
        offset += len(dib)
    return out + b"".join(dibs)


def write_ico(path, images):
    with open(path, "wb") as f:
        f.write(encode_ico(images))


def read_rgba_png(path):
    """Reads an 8-bit RGBA, non-interlaced PNG (as the generator writes them)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if (depth, colour, interlace) != (8, 6, 0):
                raise ValueError(f"{path}: not an 8-bit RGBA non-interlaced PNG")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    out = bytearray()
    prev = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line
        prev = line
    return width, height, bytes(out)


if __name__ == "__main__":
    assets = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "assets")
    write_ico(os.path.join(assets, "veldrin.ico"),
              [read_rgba_png(os.path.join(assets, name)) for name in ("icon32.png", "icon16.png")])
    sys.exit(0)
