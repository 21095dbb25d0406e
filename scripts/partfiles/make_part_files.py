#!/usr/bin/env python3
"""Makes the part description files of the parts whose registers reach past
the 64-register I/O space, from avr-libc's register headers and the package
pinouts in pinouts.py.

    make_part_files.py OUTDIR [--include DIR]

writes OUTDIR/<part>.xml for every part below. The registers are the
header's 8-bit registers (a 16-bit register comes as its two halves, which
the header names as well) plus SREG, SPH and SPL from avr/common.h; each
has IO_ADDR (the I/O address, "NA" outside the I/O space) and MEM_ADDR (its
data address). MEMORY/INT_SRAM holds RAMSTART and the size up to RAMEND.
ANALOG_CONVERTER describes the converter from the table in converters.py,
each bit placed where the header's bit name (MUX5, REFS2, ADTS0...) puts it.
Only the standard library is used; the output depends on nothing but the
headers and pinouts.py, so running it twice gives the same bytes.
"""

import argparse
import os
import re
import sys

sys.dont_write_bytecode = True  # leaves no cache in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import converters  # noqa: E402
import pinouts  # noqa: E402

# Part name -> (header under avr/, the compiler's part macro).
PARTS = {
    "ATmega328P": ("iom328p.h", "__AVR_ATmega328P__"),
    "ATmega2560": ("iom2560.h", "__AVR_ATmega2560__"),
    "ATmega644P": ("iom644p.h", "__AVR_ATmega644P__"),
    "ATtiny85": ("iotn85.h", "__AVR_ATtiny85__"),
}

DEFAULT_INCLUDE = "/usr/lib/avr/include"
IO_OFFSET = 0x20  # data address of I/O address 0

_DEFINE = re.compile(r"^\s*#\s*define\s+(\w+)\s+(.*?)\s*(?:/\*.*)?$")
_SFR = re.compile(r"^_SFR_(IO|MEM)(8|16)\s*\(\s*(0[xX][0-9A-Fa-f]+|\d+)\s*\)$")
_NUMBER = re.compile(r"^\(?\s*(0[xX][0-9A-Fa-f]+|\d+)\s*\)?$")


class HeaderError(Exception):
    pass


def read_defines(path, part_macro):
    """The #define lines of a header that apply to the part: conditions that
    test which part is compiled (defined(__AVR_...__)) are decided, all
    others (include guards, __ASSEMBLER__) are taken as true. Returns
    name -> value text, in header order; a name defined twice with different
    values is an error."""
    defines = {}
    stack = []  # one entry per open #if: [this branch active, a branch taken]

    def active():
        return all(entry[0] for entry in stack)

    def decide(expression):
        # defined(X) holds for the part's own macro and for names this
        # header defined above; the rest is evaluated where it is plain
        # arithmetic and taken as true where it names other macros.
        def known(match):
            name = match.group(1)
            return " 1 " if name == part_macro or name in defines else " 0 "
        text = re.sub(r"defined\s*\(\s*(\w+)\s*\)|defined\s+(\w+)",
                      lambda m: known(re.match(r"(\w+)", m.group(1) or m.group(2))), expression)
        text = text.split("/*")[0].replace("&&", " and ").replace("||", " or ")
        text = re.sub(r"!(?!=)", " not ", text)
        words = re.findall(r"[A-Za-z_]\w*", text)
        if any(word not in ("and", "or", "not") for word in words):
            return True  # names a macro outside the header (__AVR_ARCH__, XRAMEND)
        try:
            return bool(eval(text, {"__builtins__": {}}, {}))  # numbers and operators only
        except SyntaxError:
            return True

    with open(path, encoding="ascii", errors="replace") as header:
        for line in header:
            directive = re.match(r"^\s*#\s*(if|ifdef|ifndef|elif|else|endif)\b(.*)$", line)
            if directive:
                kind, rest = directive.group(1), directive.group(2)
                if kind in ("ifdef", "ifndef"):
                    name = rest.split()[0] if rest.split() else ""
                    taken = (name == part_macro or name in defines) == (kind == "ifdef")
                    stack.append([taken, taken])
                elif kind == "if":
                    taken = decide(rest)
                    stack.append([taken, taken])
                elif kind == "elif":
                    taken = not stack[-1][1] and decide(rest)
                    stack[-1] = [taken, stack[-1][1] or taken]
                elif kind == "else":
                    stack[-1] = [not stack[-1][1], True]
                else:
                    stack.pop()
                continue
            match = _DEFINE.match(line)
            if not match or not active():
                continue
            name, value = match.group(1), match.group(2)
            if name in defines and defines[name] != value:
                raise HeaderError("%s: %s is defined as %s and as %s" %
                                  (path, name, defines[name], value))
            defines[name] = value
    return defines


def number(defines, name, path):
    match = _NUMBER.match(defines.get(name, ""))
    if not match:
        raise HeaderError("%s has no numeric %s" % (path, name))
    return int(match.group(1), 0)


def read_common(path):
    """The I/O addresses avr/common.h gives SREG, SPH and SPL. It defines
    them under conditions on the architecture (the XMEGA's memory-mapped
    ones aside); the classic parts' definitions are the _SFR_IO8 ones."""
    addresses = {}
    with open(path, encoding="ascii", errors="replace") as header:
        for line in header:
            match = _DEFINE.match(line)
            if match and match.group(1) in ("SREG", "SPH", "SPL"):
                sfr = _SFR.match(match.group(2))
                if sfr and sfr.group(1) == "IO" and sfr.group(2) == "8":
                    addresses[match.group(1)] = int(sfr.group(3), 0)
    return addresses


class Part:
    def __init__(self, name, registers, ram_start, ram_end, signature, bits):
        self.name = name
        self.registers = registers  # [(name, data address)], descending address
        self.ram_start = ram_start
        self.ram_end = ram_end
        self.signature = signature
        self.bits = bits  # bit name -> bit number, for the converter's fields


def read_part(name, include_dir):
    header, macro = PARTS[name]
    path = os.path.join(include_dir, "avr", header)
    defines = read_defines(path, macro)
    common = read_common(os.path.join(include_dir, "avr", "common.h"))
    registers = []
    for reg, value in defines.items():
        sfr = _SFR.match(value)
        if sfr and sfr.group(2) == "8":
            offset = int(sfr.group(3), 0)
            registers.append((reg, offset + IO_OFFSET if sfr.group(1) == "IO" else offset))
        elif sfr:  # a 16-bit register: its halves must be there
            offset = int(sfr.group(3), 0)
            wanted = {offset: None, offset + 1: None}
            for half, half_value in defines.items():
                half_sfr = _SFR.match(half_value)
                if (half_sfr and half_sfr.group(2) == "8" and half_sfr.group(1) == sfr.group(1)
                        and int(half_sfr.group(3), 0) in wanted):
                    wanted[int(half_sfr.group(3), 0)] = half
            if None in wanted.values():
                raise HeaderError("%s: the 16-bit %s has no 8-bit halves" % (path, reg))
    ram_start = number(defines, "RAMSTART", path)
    ram_end = number(defines, "RAMEND", path)
    # The status register and the stack pointer are common to every part;
    # the stack pointer's high byte exists where the data space passes 0xFF.
    known = {reg for reg, _ in registers}
    for reg in ("SREG", "SPH", "SPL"):
        if reg in known or (reg == "SPH" and ram_end < 0x100):
            continue
        if reg not in common:
            raise HeaderError("avr/common.h has no I/O address of %s" % reg)
        registers.append((reg, common[reg] + IO_OFFSET))
    order = {reg: i for i, (reg, _) in enumerate(registers)}
    registers.sort(key=lambda r: (-r[1], order[r[0]]))
    signature = [number(defines, "SIGNATURE_%d" % i, path) for i in range(3)]
    known = {reg for reg, _ in registers}
    bits = {}
    for register, bit in converters.bits_named(converters.CONVERTERS[name]):
        if register not in known:
            raise HeaderError("%s has no register %s for the converter's %s" % (path, register, bit))
        bits[bit] = number(defines, bit, path)
        if not 0 <= bits[bit] <= 7:
            raise HeaderError("%s: bit %s is %d" % (path, bit, bits[bit]))
    return Part(name, registers, ram_start, ram_end, signature, bits)


def render(part):
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           "<!-- Made by scripts/partfiles/make_part_files.py from avr-libc's",
           "     avr/%s and the data sheet's pinouts; do not edit by hand. -->" %
           PARTS[part.name][0],
           "<AVRPART>", "  <ADMIN>",
           "    <PART_NAME>%s</PART_NAME>" % part.name, "    <SIGNATURE>"]
    for i, byte in enumerate(part.signature):
        out.append("      <ADDR%03d>$%02X</ADDR%03d>" % (i, byte, i))
    out += ["    </SIGNATURE>", "  </ADMIN>", "  <PACKAGE>"]
    packages = pinouts.PACKAGES[part.name]
    out.append("    <PACKAGES>[%s]</PACKAGES>" % ":".join(p for p, _ in packages))
    for package, pins in packages:
        out.append("    <%s>" % package)
        for number_, pin in enumerate(pins, 1):
            out.append("      <PIN%d><NAME>[%s]</NAME></PIN%d>" % (number_, pin, number_))
        out.append("    </%s>" % package)
    out += ["  </PACKAGE>", "  <MEMORY>", "    <INT_SRAM>",
            "      <START_ADDR>$%X</START_ADDR>" % part.ram_start,
            "      <SIZE>%d</SIZE>" % (part.ram_end - part.ram_start + 1),
            "    </INT_SRAM>", "    <IO_MEMORY>"]
    for reg, address in part.registers:
        io = address - IO_OFFSET
        io_text = "$%02X" % io if 0 <= io <= 0x3F else "NA"
        out.append("      <%s><IO_ADDR>%s</IO_ADDR><MEM_ADDR>$%02X</MEM_ADDR></%s>" %
                   (reg, io_text, address, reg))
    out += ["    </IO_MEMORY>", "  </MEMORY>"]
    out += converters.render(converters.CONVERTERS[part.name], part.bits)
    out += ["</AVRPART>", ""]
    return "\n".join(out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("--include", default=DEFAULT_INCLUDE,
                        help="avr-libc's include folder (default %(default)s)")
    args = parser.parse_args(argv)
    try:
        parts = [read_part(name, args.include) for name in PARTS]
    except (OSError, HeaderError) as error:
        print("make_part_files: %s" % error, file=sys.stderr)
        return 1
    os.makedirs(args.outdir, exist_ok=True)
    for part in parts:
        with open(os.path.join(args.outdir, part.name + ".xml"), "w", encoding="utf-8",
                  newline="\n") as out:
            out.write(render(part))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
