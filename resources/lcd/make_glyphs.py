#!/usr/bin/env python3
"""Generates resources/LcdGlyphs.cpp: the HD44780U character glyphs of ROM
code A02 (5x8 and 5x10, 256 each) and the cursor strip.

Where the shapes come from:
  * 0x80..0xFF and the symbols the fonts have: Debian's xfonts-base, the
    public-domain misc-fixed fonts 5x8 (first choice: its baseline lies
    where the data sheet's does, and accents fit above capitals) and 5x7
    (for code points 5x8 lacks), /usr/share/fonts/X11/misc/. Their letters
    are four pixels wide and sit in the left four columns.
  * 0x20..0x7F and every glyph listed in a02-corrections.txt: drawn after
    the data sheet's A02 character table, replacing the font's shape (the
    data sheet's letters are five pixels wide and seven high).
  * 0x00..0x0F: blank (CGRAM codes; their patterns are not drawn).
The 5x10 set repeats the 5x8 set in rows 0..7, except for the letters with
descenders, which a02-corrections.txt draws ten rows high.

Usage: make_glyphs.py [--chart table.png] [fontdir] > ../LcdGlyphs.cpp
  --chart also writes the 16 x 16 character table at zoom 4, to be checked
  by eye against the data sheet (5x8 set on the left, 5x10 on the right).
"""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pcf  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# ROM code A02, 0x10..0x1F and 0x80..0x9F, as Unicode code points.
A02_SYMBOLS = {
    0x10: 0x25B6, 0x11: 0x25C0, 0x12: 0x201C, 0x13: 0x201D,
    0x14: 0x23EB, 0x15: 0x23EC, 0x16: 0x25CF, 0x17: 0x21B5,
    0x18: 0x2191, 0x19: 0x2193, 0x1A: 0x2192, 0x1B: 0x2190,
    0x1C: 0x2264, 0x1D: 0x2265, 0x1E: 0x25B2, 0x1F: 0x25BC,
    0x7F: 0x2302,
    0x80: 0x0411, 0x81: 0x0414, 0x82: 0x0416, 0x83: 0x0417,
    0x84: 0x0418, 0x85: 0x0419, 0x86: 0x041B, 0x87: 0x041F,
    0x88: 0x0423, 0x89: 0x0426, 0x8A: 0x0427, 0x8B: 0x0428,
    0x8C: 0x0429, 0x8D: 0x042A, 0x8E: 0x042B, 0x8F: 0x042D,
    0x90: 0x03B1, 0x91: 0x266A, 0x92: 0x0393, 0x93: 0x03C0,
    0x94: 0x03A3, 0x95: 0x03C3, 0x96: 0x266C, 0x97: 0x03C4,
    0x98: 0x1F514, 0x99: 0x0398, 0x9A: 0x03A9, 0x9B: 0x03B4,
    0x9C: 0x221E, 0x9D: 0x2665, 0x9E: 0x03B5, 0x9F: 0x2229,
}


def unicode_of(code):
    if code < 0x10:
        return None
    if code in A02_SYMBOLS:
        return A02_SYMBOLS[code]
    return code  # ASCII and ISO 8859-1 keep their codes


def font_glyph(fonts, cp):
    """An 8-row glyph from the first font that has `cp`, or None. The 5x8
    font's baseline lies under row 6, as the data sheet's; a 5x7 glyph sits
    one row lower unless it reaches below its baseline."""
    f57, f58 = fonts
    cell = f58.cell(cp, 5, 8, 0)
    if cell is not None:
        return cell
    cell = f57.cell(cp, 5, 7, 0)
    if cell is not None:
        if not any(cell[6]):
            return [[0] * 5] + cell
        return cell + [[0] * 5]
    return None


def read_corrections(path):
    """{(code, rows): glyph rows} from the art file."""
    result = {}
    code = None
    rows = []
    for raw in open(path, encoding="utf-8"):
        line = raw.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("0x"):
            if code is not None:
                result[code] = rows
            code = int(line.split()[0], 16), line.split()[1] if len(line.split()) > 1 else "8"
            rows = []
        else:
            if len(line) != 5 or set(line) - set(".#"):
                raise SystemExit(f"{path}: bad row {line!r} for {code}")
            rows.append([1 if ch == "#" else 0 for ch in line])
    if code is not None:
        result[code] = rows
    return result


def pad(rows, height):
    rows = [list(r) for r in rows[:height]]
    return rows + [[0] * 5 for _ in range(height - len(rows))]


def to_bytes(rows):
    return [sum(bit << (4 - x) for x, bit in enumerate(row)) for row in rows]


def write_chart(path, set8, set10, zoom=4):
    """Both sets as 16 x 16 tables side by side, dark ink on LCD green."""
    cw, ch = 7, 12  # cell pitch in pixels before zoom
    table_w = 16 * cw + 2
    width, height = (2 * table_w + 4) * zoom, (16 * ch + 2) * zoom
    pixels = [[(215, 255, 215)] * width for _ in range(height)]
    for t, glyphs in enumerate((set8, set10)):
        for code, g in enumerate(glyphs):
            x0 = t * (table_w + 4) + 2 + (code % 16) * cw
            y0 = 2 + (code // 16) * ch
            for y, row in enumerate(g):
                for x, bit in enumerate(row):
                    if not bit:
                        continue
                    for dy in range(zoom):
                        line = pixels[(y0 + y) * zoom + dy]
                        for dx in range(zoom):
                            line[(x0 + x) * zoom + dx] = (20, 40, 20)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    args = sys.argv[1:]
    chart = None
    if args[:1] == ["--chart"]:
        chart, args = args[1], args[2:]
    fontdir = args[0] if args else "/usr/share/fonts/X11/misc"
    fonts = (pcf.Font(os.path.join(fontdir, "5x7.pcf.gz")),
             pcf.Font(os.path.join(fontdir, "5x8.pcf.gz")))
    corrections = read_corrections(os.path.join(HERE, "a02-corrections.txt"))
    set8, set10, missing = [], [], []
    for code in range(256):
        glyph = [[0] * 5 for _ in range(8)]
        cp = unicode_of(code)
        if (code, "8") in corrections:
            glyph = pad(corrections[(code, "8")], 8)
        elif cp is not None:
            found = font_glyph(fonts, cp)
            if found is None:
                missing.append(code)
            else:
                glyph = found
        set8.append(glyph)
        tall = corrections.get((code, "10"))
        set10.append(pad(tall, 10) if tall else pad(glyph, 10))
    if missing:
        raise SystemExit("no shape for " + ", ".join(hex(c) for c in missing))

    if chart:
        write_chart(chart, set8, set10)

    cursor = [pad([], 10), pad([[0] * 5] * 8 + [[1] * 5] * 2, 10),
              pad([[1] * 5] * 8, 10), pad([[1] * 5] * 10, 10)]

    out = sys.stdout
    out.write("// Generated by resources/lcd/make_glyphs.py from the misc-fixed fonts of\n"
              "// Debian's xfonts-base and resources/lcd/a02-corrections.txt; edit those\n"
              "// and run the script again rather than editing this file.\n"
              '#include "resources/LcdGlyphs.h"\n\nnamespace lcdglyphs {\n\n')
    for name, glyphs, height in (("kFont5x8", set8, 8), ("kFont5x10", set10, 10)):
        out.write(f"const uint8_t {name}[256][{height}] = {{\n")
        for code, g in enumerate(glyphs):
            values = ", ".join(f"0x{b:02X}" for b in to_bytes(g))
            out.write(f"    {{{values}}},  // 0x{code:02X}\n")
        out.write("};\n\n")
    out.write("const uint8_t kCursor[4][10] = {\n")
    for g in cursor:
        out.write("    {" + ", ".join(f"0x{b:02X}" for b in to_bytes(g)) + "},\n")
    out.write("};\n\n}  // namespace lcdglyphs\n")


if __name__ == "__main__":
    main()
