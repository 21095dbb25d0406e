"""Minimal reader of X11 PCF bitmap fonts (the misc-fixed fonts of xfonts-base)."""
import gzip
import struct

PCF_ACCELERATORS = 1 << 1
PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8
PCF_COMPRESSED_METRICS = 0x100


class Font:
    """Glyphs by Unicode code point: (width, ascent, descent, rows) where rows
    are lists of 0/1 columns starting at the glyph's left bearing."""

    def __init__(self, path):
        data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
        if data[:4] != b"\x01fcp":
            raise ValueError(f"{path}: not a PCF font")
        (count,) = struct.unpack_from("<i", data, 4)
        tables = {}
        for i in range(count):
            kind, fmt, size, offset = struct.unpack_from("<iiii", data, 8 + 16 * i)
            tables[kind] = (fmt, offset)
        self._data = data
        self._read_accelerators(tables)
        metrics = self._read_metrics(tables[PCF_METRICS])
        bitmaps = self._read_bitmaps(tables[PCF_BITMAPS], metrics)
        self.glyphs = {}
        for code, index in self._read_encodings(tables[PCF_BDF_ENCODINGS]).items():
            left, right, width, ascent, descent = metrics[index]
            self.glyphs[code] = (left, ascent, descent, bitmaps[index], right - left)

    def _fmt(self, offset):
        (fmt,) = struct.unpack_from("<i", self._data, offset)
        return fmt, (">" if fmt & 4 else "<")

    def _read_accelerators(self, tables):
        entry = tables.get(PCF_BDF_ACCELERATORS) or tables[PCF_ACCELERATORS]
        fmt, e = self._fmt(entry[1])
        self.ascent, self.descent = struct.unpack_from(e + "ii", self._data, entry[1] + 4 + 8)

    def _read_metrics(self, entry):
        fmt, e = self._fmt(entry[1])
        pos = entry[1] + 4
        result = []
        if fmt & PCF_COMPRESSED_METRICS:
            (count,) = struct.unpack_from(e + "h", self._data, pos)
            pos += 2
            for i in range(count):
                v = [b - 0x80 for b in self._data[pos : pos + 5]]
                result.append(tuple(v))
                pos += 5
        else:
            (count,) = struct.unpack_from(e + "i", self._data, pos)
            pos += 4
            for i in range(count):
                v = struct.unpack_from(e + "hhhhhH", self._data, pos)
                result.append(tuple(v[:5]))
                pos += 12
        return result

    def _read_bitmaps(self, entry, metrics):
        fmt, e = self._fmt(entry[1])
        pos = entry[1] + 4
        (count,) = struct.unpack_from(e + "i", self._data, pos)
        pos += 4
        offsets = struct.unpack_from(e + f"{count}i", self._data, pos)
        pos += 4 * count + 16
        pad = 1 << (fmt & 3)
        msb_bit = bool(fmt & 8)
        glyphs = []
        for i in range(count):
            left, right, width, ascent, descent = metrics[i]
            w, h = right - left, ascent + descent
            stride = ((w + 7) // 8 + pad - 1) // pad * pad
            rows = []
            for y in range(h):
                row = []
                base = pos + offsets[i] + y * stride
                for x in range(w):
                    byte = self._data[base + x // 8]
                    bit = (byte >> (7 - x % 8)) & 1 if msb_bit else (byte >> (x % 8)) & 1
                    row.append(bit)
                rows.append(row)
            glyphs.append(rows)
        return glyphs

    def _read_encodings(self, entry):
        fmt, e = self._fmt(entry[1])
        pos = entry[1] + 4
        min2, max2, min1, max1, default = struct.unpack_from(e + "hhhhh", self._data, pos)
        pos += 10
        n = (max2 - min2 + 1) * (max1 - min1 + 1)
        indices = struct.unpack_from(e + f"{n}H", self._data, pos)
        result = {}
        for b1 in range(min1, max1 + 1):
            for b2 in range(min2, max2 + 1):
                index = indices[(b1 - min1) * (max2 - min2 + 1) + (b2 - min2)]
                if index != 0xFFFF:
                    result[(b1 << 8) | b2] = index
        return result

    def cell(self, code, width, height, top):
        """The glyph of `code` in a width x height cell whose baseline lies
        `top` + font ascent rows from the top; None when the font lacks it."""
        if code not in self.glyphs:
            return None
        left, ascent, descent, rows, w = self.glyphs[code]
        out = [[0] * width for _ in range(height)]
        y0 = top + self.ascent - ascent
        for y, row in enumerate(rows):
            for x, bit in enumerate(row):
                if bit and 0 <= y0 + y < height and 0 <= left + x < width:
                    out[y0 + y][left + x] = 1
        return out
