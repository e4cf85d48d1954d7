#!/usr/bin/env python3
"""Writes the hostile-input corpus into tests/data/hostile/.

Every file is built here from first principles (PNG chunks, a GIF with its
own LZW codes, a baseline JPEG with its own entropy coding), so nothing comes
from any other program.  The output is deterministic: running the script
again rewrites the same bytes, which the committed files must match
(`--check` compares instead of writing).

The valid pictures use distinctive pixel values that the tests check after
decoding; they are listed next to each writer.
"""

import hashlib
import os
import struct
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "hostile")


# --- PNG ---------------------------------------------------------------

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def stored_zlib(data):
    """A zlib stream of stored (uncompressed) deflate blocks: the same bytes
    whatever zlib build runs the script."""
    out = bytearray(b"\x78\x01")
    pos = 0
    while True:
        block = data[pos:pos + 65535]
        pos += len(block)
        final = pos >= len(data)
        out += bytes([1 if final else 0])
        out += struct.pack("<HH", len(block), len(block) ^ 0xFFFF)
        out += block
        if final:
            break
    out += struct.pack(">I", zlib.adler32(data) & 0xFFFFFFFF)
    return bytes(out)


def png(width, height, bit_depth, color_type, rows, extra_chunks=b"", idat=None):
    """rows: the raw bytes of each row (filter byte 0 is added here)."""
    header = struct.pack(">IIBBBBB", width, height, bit_depth, color_type, 0, 0, 0)
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    if idat is None:
        idat = stored_zlib(raw)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra_chunks +
            chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def one_pixel_png():
    # 1 x 1, RGB 0x1f2e3d.
    return png(1, 1, 8, 2, [[0x1F, 0x2E, 0x3D]])


def rgb16_png():
    # 3 x 2, 16 bits per sample.  Each sample's two bytes are equal, so
    # stripping and scaling to 8 bits agree: row 0 is 0x102030 0x405060
    # 0x708090, row 1 is 0xa0b0c0 0xd0e0f0 0x010203.
    pixels = [[0x102030, 0x405060, 0x708090], [0xA0B0C0, 0xD0E0F0, 0x010203]]
    rows = []
    for row in pixels:
        data = []
        for value in row:
            for shift in (16, 8, 0):
                byte = (value >> shift) & 0xFF
                data += [byte, byte]
        rows.append(data)
    return png(3, 2, 16, 2, rows)


def grey_png():
    # 3 x 2, 8-bit grey: 0x00 0x40 0x80 / 0xc0 0xff 0x17.
    return png(3, 2, 8, 0, [[0x00, 0x40, 0x80], [0xC0, 0xFF, 0x17]])


PALETTE = [0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231]


def palette_png():
    # 4 x 2, 4 bits per index into PALETTE: indices 0 1 2 3 / 4 3 2 1.
    plte = b"".join(struct.pack(">I", c)[1:] for c in PALETTE)
    indices = [[0, 1, 2, 3], [4, 3, 2, 1]]
    rows = [[(r[0] << 4) | r[1], (r[2] << 4) | r[3]] for r in indices]
    return png(4, 2, 4, 3, rows, extra_chunks=chunk(b"PLTE", plte))


def alpha_png():
    # 3 x 1, RGBA: 0x112233 opaque, 0x445566 half transparent, 0x778899
    # fully transparent.
    return png(3, 1, 8, 6, [[0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66, 0x80,
                             0x77, 0x88, 0x99, 0x00]])


def truncated_png():
    # A 16 x 16 RGB picture cut in the middle of its pixel data.
    rows = [[v for x in range(16) for v in ((x * 16) & 0xFF, (y * 16) & 0xFF, 0x80)]
            for y in range(16)]
    whole = png(16, 16, 8, 2, rows)
    idat = whole.index(b"IDAT")
    return whole[:idat + 4 + 300]


def huge_png():
    # The header claims 100000 x 100000 (1-bit grey); the data holds one row.
    row = b"\x00" + b"\x55" * (100000 // 8)
    # A stream with only a non-final block: the rest of the picture is missing.
    idat = b"\x78\x01" + bytes([0]) + struct.pack("<HH", len(row), len(row) ^ 0xFFFF) + row
    return png(100000, 100000, 1, 0, [], idat=idat)


def many_pixels_png():
    # The header claims 20000 x 20000: each side possible, 400 million pixels
    # not.  The data holds one row.
    row = b"\x00" + b"\xaa" * (20000 // 8)
    idat = b"\x78\x01" + bytes([0]) + struct.pack("<HH", len(row), len(row) ^ 0xFFFF) + row
    return png(20000, 20000, 1, 0, [], idat=idat)


def zero_size_png():
    # The header claims 0 x 0 pixels.
    return png(0, 0, 8, 2, [])


def tall_png():
    # 1 x 40000 grey, every pixel 0x99: few pixels, but a side no pixmap has.
    raw = b"\x00\x99" * 40000
    return png(1, 40000, 8, 0, [], idat=zlib.compress(raw, 9))


def random_png():
    # Pseudo-random bytes (SHA-256 in counter mode) under a .png name.
    out = bytearray()
    counter = 0
    while len(out) < 4096:
        out += hashlib.sha256(b"vorpix hostile %d" % counter).digest()
        counter += 1
    return bytes(out[:4096])


# --- GIF ---------------------------------------------------------------

GIF_COLORS = [0x0A141E, 0xC83264, 0x32C896, 0xFAFAF0]


def gif():
    # 4 x 3, four colours: indices 0 1 2 3 / 3 2 1 0 / 1 1 2 2.
    width, height = 4, 3
    indices = [0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2]
    min_code_size = 2
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    code_size = min_code_size + 1
    # A clear code before every index keeps the code table from growing, so
    # every code has the same width.
    codes = []
    for index in indices:
        codes += [clear, index]
    codes.append(end)
    bits = 0
    nbits = 0
    data = bytearray()
    for code in codes:
        bits |= code << nbits
        nbits += code_size
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    table = b"".join(struct.pack(">I", c)[1:] for c in GIF_COLORS)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x01, 0, 0)  # global table of 4
    out += table
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    out += bytes([min_code_size])
    for pos in range(0, len(data), 255):
        block = data[pos:pos + 255]
        out += bytes([len(block)]) + block
    out += b"\x00\x3b"
    return bytes(out)


def truncated_gif():
    # The GIF above cut inside its image data.
    whole = gif()
    return whole[:len(whole) - 8]


# --- JPEG --------------------------------------------------------------

# The luminance DC table of the JPEG standard (Annex K): code lengths, symbols.
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALUES = list(range(12))
# An AC table with end-of-block as its only symbol (code 0): every block here
# is flat.
AC_BITS = [1] + [0] * 15
AC_VALUES = [0x00]
DC_QUANT = 8  # with a DC-only block, a pixel is 128 + coefficient * 8 / 8


def huffman_codes(bits, values):
    codes = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0x00)  # byte stuffing
                self.acc = 0
                self.n = 0

    def flush(self):
        while self.n:
            self.put(1, 1)
        return bytes(self.out)


def block_level(bx, by):
    # The grey level of block (bx, by) of the 32 x 32 picture: distinct per
    # block, from 0x14 up to 0xe6.
    return 0x14 + (by * 4 + bx) * 0x0D


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg():
    # 32 x 32 grey baseline JPEG of 4 x 4 flat 8 x 8 blocks (block_level).
    size = 32
    out = bytearray(b"\xff\xd8")
    out += segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += segment(0xDB, bytes([0, DC_QUANT]) + bytes([1] * 63))
    out += segment(0xC0, struct.pack(">BHHB", 8, size, size, 1) + bytes([1, 0x11, 0]))
    out += segment(0xC4, bytes([0x00]) + bytes(DC_BITS) + bytes(DC_VALUES))
    out += segment(0xC4, bytes([0x10]) + bytes(AC_BITS) + bytes(AC_VALUES))
    out += segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0]))
    dc = huffman_codes(DC_BITS, DC_VALUES)
    ac = huffman_codes(AC_BITS, AC_VALUES)
    writer = BitWriter()
    previous = 0
    for by in range(size // 8):
        for bx in range(size // 8):
            coefficient = block_level(bx, by) - 128
            diff = coefficient - previous
            previous = coefficient
            category = abs(diff).bit_length()
            writer.put(*dc[category])
            if category:
                writer.put(diff if diff > 0 else diff + (1 << category) - 1, category)
            writer.put(*ac[0x00])
    out += writer.flush()
    out += b"\xff\xd9"
    return bytes(out)


def truncated_jpeg():
    # The picture above cut after its first block row and a half: headers
    # whole, the scan unfinished, no end marker.
    whole = jpeg()
    scan = whole.index(b"\xff\xda")
    scan_data = scan + 2 + 8
    return whole[:scan_data + 5]


CORPUS = {
    "empty.png": lambda: b"",
    "truncated.png": truncated_png,
    "truncated.jpg": truncated_jpeg,
    "blocks.jpg": jpeg,
    "random.png": random_png,
    "huge.png": huge_png,
    "tall.png": tall_png,
    "many_pixels.png": many_pixels_png,
    "zero_size.png": zero_size_png,
    "one_pixel.png": one_pixel_png,
    "rgb16.png": rgb16_png,
    "grey.png": grey_png,
    "palette.png": palette_png,
    "picture.gif": gif,
    "truncated.gif": truncated_gif,
    "alpha.png": alpha_png,
}


def main():
    check = "--check" in sys.argv[1:]
    os.makedirs(OUT, exist_ok=True)
    stale = []
    for name, make in sorted(CORPUS.items()):
        data = make()
        path = os.path.join(OUT, name)
        if check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(name)
            except OSError:
                stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("differs from the script: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
