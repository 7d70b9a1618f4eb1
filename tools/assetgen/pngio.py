"""Minimal deterministic PNG writer: IHDR, gAMA, IDAT, IEND and nothing else.

No timestamps or text chunks are written, so the same pixels always give the
same bytes (for a given zlib).
"""
import struct
import zlib

import numpy as np

_COLOUR_TYPES = {3: 2, 4: 6}  # channels -> PNG colour type (RGB, RGBA)


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    a = a.astype(np.int16)
    b = b.astype(np.int16)
    c = c.astype(np.int16)
    p = a + b - c
    pa, pb, pc = np.abs(p - a), np.abs(p - b), np.abs(p - c)
    return np.where((pa <= pb) & (pa <= pc), a, np.where(pb <= pc, b, c)).astype(np.uint8)


def _filter_rows(img):
    """Pick, per row, the filter with the smallest sum of absolute values."""
    h, w, ch = img.shape
    flat = img.reshape(h, w * ch)
    out = bytearray()
    prev = np.zeros(w * ch, dtype=np.uint8)
    for row in flat:
        left = np.concatenate([np.zeros(ch, np.uint8), row[:-ch]])
        upleft = np.concatenate([np.zeros(ch, np.uint8), prev[:-ch]])
        cands = [
            row,
            row - left,
            row - prev,
            row - ((left.astype(np.uint16) + prev) // 2).astype(np.uint8),
            row - _paeth(left, prev, upleft),
        ]
        scores = [int(np.abs(c.astype(np.int8).astype(np.int32)).sum()) for c in cands]
        best = scores.index(min(scores))
        out.append(best)
        out += cands[best].astype(np.uint8).tobytes()
        prev = row
    return bytes(out)


def encode_png(pixels, gamma):
    """Encode an HxWx3 or HxWx4 uint8 array; gamma is the file gamma (e.g. 0.45)."""
    img = np.ascontiguousarray(pixels, dtype=np.uint8)
    if img.ndim != 3 or img.shape[2] not in _COLOUR_TYPES:
        raise ValueError("expected an HxWx3 or HxWx4 array")
    h, w, ch = img.shape
    ihdr = struct.pack(">IIBBBBB", w, h, 8, _COLOUR_TYPES[ch], 0, 0, 0)
    gama = struct.pack(">I", int(round(gamma * 100000)))
    idat = zlib.compress(_filter_rows(img), 9)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) + _chunk(b"gAMA", gama)
            + _chunk(b"IDAT", idat) + _chunk(b"IEND", b""))


def write_png(path, pixels, gamma):
    data = encode_png(pixels, gamma)
    with open(path, "wb") as f:
        f.write(data)
    return data
