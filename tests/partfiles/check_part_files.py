#!/usr/bin/env python3
"""Checks the part description files against avr-libc, as the compiler sees
it (avr-gcc -mmcu=<part> -E -dM with avr/io.h), independently of the text
reading in make_part_files.py:

  - the generated files are what the script makes now, byte for byte;
  - every register's IO_ADDR and MEM_ADDR are the header's address of that
    name (I/O address + 0x20 = data address; "NA" past the I/O space), and
    every 8-bit register of the header is in the file (under one of its names:
    avr-libc keeps older names as aliases, "#define GICR GIMSK");
  - MEMORY/INT_SRAM is RAMSTART and RAMEND - RAMSTART + 1, the signature
    the header's;
  - each listed package numbers its pins 1..n and holds every port bit of
    the part exactly once, and nothing that is not one;
  - ANALOG_CONVERTER: every bit it names (MUX5, REFS2, ADTS0...) sits where
    avr-libc's bit name puts it, in a register of the file; selections fit
    their fields; each input names ADCn inputs or a fixed voltage; the
    inputs ADC0..ADC(CHANNELS-1) are on the part's pins.

    check_part_files.py SOURCE_DIR [--mcu-compiler avr-gcc]
"""

import argparse
import difflib
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

GENERATED = ["ATmega328P", "ATmega2560", "ATmega644P", "ATtiny85"]
ALL_PARTS = ["ATmega16", "ATmega32", "ATmega8"] + GENERATED
IO_OFFSET = 0x20

_SFR = re.compile(r"^_SFR_(IO|MEM)(8|16)\s*\(\s*(0[xX][0-9A-Fa-f]+|\d+)\s*\)$")
_ADDRESS = re.compile(r"^(?:\$|0[xX])([0-9A-Fa-f]+)$")


class Checker:
    def __init__(self):
        self.faults = []

    def fault(self, text):
        self.faults.append(text)


def compiler_macros(compiler, part):
    """The macros avr/io.h defines for the part, name -> value."""
    run = subprocess.run([compiler, "-mmcu=" + part.lower(), "-E", "-dM", "-x", "c",
                          "-include", "avr/io.h", os.devnull],
                         capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise RuntimeError("%s cannot preprocess avr/io.h for %s: %s" %
                           (compiler, part, run.stderr.strip()))
    macros = {}
    for line in run.stdout.splitlines():
        match = re.match(r"^#define (\w+) (.*)$", line)
        if match:
            macros[match.group(1)] = match.group(2).strip()
    return macros


def integer(text):
    text = text.strip()
    while text.startswith("(") and text.endswith(")"):
        text = text[1:-1].strip()
    return int(text, 0)


def address_text(text):
    match = _ADDRESS.match(text or "")
    return int(match.group(1), 16) if match else None


def check_registers(check, part, root, macros):
    expected = {}  # 8-bit register -> data address
    for name, value in macros.items():
        # An older name is an alias of the register ("#define GICR GIMSK").
        for _ in range(4):
            if not re.match(r"^\w+$", value) or value not in macros:
                break
            value = macros[value]
        sfr = _SFR.match(value)
        if sfr and sfr.group(2) == "8":
            offset = int(sfr.group(3), 0)
            expected[name] = offset + IO_OFFSET if sfr.group(1) == "IO" else offset
    io_memory = root.find("MEMORY/IO_MEMORY")
    if io_memory is None:
        check.fault("%s: no MEMORY/IO_MEMORY" % part)
        return
    seen = set()
    covered = set()
    for register in io_memory:
        name = register.tag
        if name in seen:
            check.fault("%s: %s appears twice" % (part, name))
        seen.add(name)
        io_text = register.findtext("IO_ADDR")
        mem_text = register.findtext("MEM_ADDR")
        if name not in expected:
            check.fault("%s: %s is no 8-bit register of avr/io.h" % (part, name))
            continue
        data = expected[name]
        covered.add(data)
        want_io = "$%02X" % (data - IO_OFFSET) if data < 0x60 else "NA"
        if (io_text or "").upper() != want_io.upper() and \
                address_text(io_text) != (data - IO_OFFSET if data < 0x60 else -1):
            check.fault("%s: %s has IO_ADDR %s, avr-libc says %s" % (part, name, io_text, want_io))
        if address_text(mem_text) != data:
            check.fault("%s: %s has MEM_ADDR %s, avr-libc says $%02X" %
                        (part, name, mem_text, data))
    # Every address of a register is in the file, under one of its names.
    missing = {}
    for name, data in expected.items():
        if data not in covered:
            missing.setdefault(data, []).append(name)
    for data in sorted(missing):
        check.fault("%s: avr-libc's %s ($%02X) is missing" % (part, "/".join(missing[data]), data))


def check_memory(check, part, root, macros):
    start = address_text(root.findtext("MEMORY/INT_SRAM/START_ADDR"))
    size_text = root.findtext("MEMORY/INT_SRAM/SIZE") or ""
    ram_start, ram_end = integer(macros["RAMSTART"]), integer(macros["RAMEND"])
    if start != ram_start:
        check.fault("%s: INT_SRAM START_ADDR %s, RAMSTART is 0x%X" %
                    (part, root.findtext("MEMORY/INT_SRAM/START_ADDR"), ram_start))
    if not size_text.isdigit() or int(size_text) != ram_end - ram_start + 1:
        check.fault("%s: INT_SRAM SIZE %r, RAMSTART..RAMEND holds %d bytes" %
                    (part, size_text, ram_end - ram_start + 1))
    signature = [address_text(root.findtext("ADMIN/SIGNATURE/ADDR%03d" % i)) for i in range(3)]
    want = [integer(macros["SIGNATURE_%d" % i]) for i in range(3)]
    if signature != want:
        check.fault("%s: signature %s, avr-libc says %s" % (part, signature, want))
    if root.findtext("ADMIN/PART_NAME") != part:
        check.fault("%s: PART_NAME is %r" % (part, root.findtext("ADMIN/PART_NAME")))


def check_packages(check, part, root, macros):
    bits = set()
    for name in macros:
        match = re.match(r"^P(?:ORT)?([A-L])([0-7])$", name)
        if match and "PORT" + match.group(1) in macros:
            bits.add("P%s%s" % match.groups())
    listed = (root.findtext("PACKAGE/PACKAGES") or "").strip()
    if not (listed.startswith("[") and listed.endswith("]")):
        check.fault("%s: PACKAGES %r is not a [A:B] list" % (part, listed))
        return
    for package in listed[1:-1].split(":"):
        pins = root.find("PACKAGE/" + package)
        if pins is None:
            check.fault("%s: package %s is listed but missing" % (part, package))
            continue
        found = []
        for number, pin in enumerate(pins, 1):
            if pin.tag != "PIN%d" % number:
                check.fault("%s %s: pin %d is <%s>" % (part, package, number, pin.tag))
                break
            text = pin.findtext("NAME") or ""
            functions = text[1:-1].split(":") if text.startswith("[") else []
            if not functions or not text.endswith("]"):
                check.fault("%s %s: %s NAME %r is not a [A:B] list" % (part, package, pin.tag, text))
            found += [f for f in functions if re.match(r"^P[A-L][0-7]$", f)]
        duplicates = sorted({f for f in found if found.count(f) > 1})
        if duplicates:
            check.fault("%s %s: %s on more than one pin" % (part, package, ", ".join(duplicates)))
        if set(found) != bits:
            check.fault("%s %s: port pins differ from avr-libc's: missing %s, extra %s" %
                        (part, package, sorted(bits - set(found)), sorted(set(found) - bits)))


_CHANNEL = re.compile(r"^ADC(\d+)$")


def _number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def check_converter(check, part, root, macros):
    section = root.find("ANALOG_CONVERTER")
    if section is None:
        check.fault("%s: no ANALOG_CONVERTER" % part)
        return
    registers = {r.tag for r in root.find("MEMORY/IO_MEMORY") or []}
    channels_text = section.findtext("CHANNELS") or ""
    channels = int(channels_text) if channels_text.isdigit() else 0
    if not 1 <= channels <= 64:
        check.fault("%s: converter CHANNELS %r" % (part, channels_text))
    widths = {}
    for field, single in (("MUX_BITS", False), ("REFERENCE_BITS", False),
                          ("TRIGGER_BITS", False), ("FREE_RUNNING_BIT", True),
                          ("BIPOLAR_BIT", True), ("REVERSAL_BIT", True)):
        element = section.find(field)
        bits = list(element) if element is not None else []
        widths[field] = len(bits)
        if single and element is not None and len(bits) != 1:
            check.fault("%s: converter %s holds %d bits" % (part, field, len(bits)))
        for bit in bits:
            register, number = bit.findtext("REGISTER"), bit.findtext("BIT") or ""
            if register not in registers:
                check.fault("%s: converter bit %s is in %s, no register of the file" %
                            (part, bit.tag, register))
            if bit.tag not in macros:
                check.fault("%s: converter bit %s is no bit name of avr/io.h" % (part, bit.tag))
            elif not number.isdigit() or integer(macros[bit.tag]) != int(number):
                check.fault("%s: converter bit %s is %s, avr-libc says %s" %
                            (part, bit.tag, number, macros[bit.tag]))
    if not widths["MUX_BITS"] or not widths["REFERENCE_BITS"] or not widths["FREE_RUNNING_BIT"]:
        check.fault("%s: converter lacks MUX_BITS, REFERENCE_BITS or FREE_RUNNING_BIT" % part)
    pins = set()
    for package in root.find("PACKAGE") or []:
        for pin in package:
            text = pin.findtext("NAME") or ""
            pins.update(f for f in text[1:-1].split(":") if _CHANNEL.match(f))
    missing = ["ADC%d" % n for n in range(channels) if "ADC%d" % n not in pins]
    if missing:
        check.fault("%s: converter inputs %s are on no pin" % (part, ", ".join(missing)))
    for field, prefix, kinds in (
            ("INPUTS", "INPUT", {"CHANNEL": 1, "POSITIVE": 3, "BANDGAP": 1, "TEMPERATURE": 1,
                                 "GND": 1}),
            ("REFERENCES", "REFERENCE", {"AREF": 1, "AVCC": 1, "VCC": 1, "INTERNAL": 1,
                                         "VREF": 1})):
        width = widths["MUX_BITS" if field == "INPUTS" else "REFERENCE_BITS"]
        for entry in section.find(field) or []:
            selection = entry.tag[len(prefix):]
            if not entry.tag.startswith(prefix) or not selection.isdigit() or \
                    int(selection) >= 1 << width:
                check.fault("%s: converter %s/%s is no selection of %d bits" %
                            (part, field, entry.tag, width))
            tags = [e.tag for e in entry if e.tag != "AREF_PIN"]
            if not tags or tags[0] not in kinds or len(tags) != kinds[tags[0]]:
                check.fault("%s: converter %s/%s holds %s" % (part, field, entry.tag, tags))
                continue
            for e in entry:
                if e.tag in ("CHANNEL", "POSITIVE", "NEGATIVE") and not _CHANNEL.match(e.text or ""):
                    check.fault("%s: converter %s/%s names %r" % (part, field, entry.tag, e.text))
                elif e.tag in ("BANDGAP", "TEMPERATURE", "INTERNAL", "VREF") and \
                        not 0 < (_number(e.text) or 0) < 6:
                    check.fault("%s: converter %s/%s gives %r V" % (part, field, entry.tag, e.text))


def check_generated(check, source):
    script = os.path.join(source, "scripts", "partfiles", "make_part_files.py")
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run([sys.executable, script, out], capture_output=True, text=True,
                             check=False)
        if run.returncode != 0:
            check.fault("make_part_files.py failed: %s" % run.stderr.strip())
            return
        made = sorted(f for f in os.listdir(out))
        if made != sorted(p + ".xml" for p in GENERATED):
            check.fault("make_part_files.py made %s" % made)
        for part in GENERATED:
            path = os.path.join(out, part + ".xml")
            committed = os.path.join(source, "host", "Partdescriptionfiles", part + ".xml")
            if not os.path.exists(path):
                continue
            with open(path, "rb") as a, open(committed, "rb") as b:
                fresh, kept = a.read(), b.read()
            if fresh != kept:
                diff = difflib.unified_diff(kept.decode(errors="replace").splitlines(),
                                            fresh.decode(errors="replace").splitlines(),
                                            "committed " + part, "generated", lineterm="", n=1)
                check.fault("%s.xml differs from what make_part_files.py makes:\n%s" %
                            (part, "\n".join(list(diff)[:20])))


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("--mcu-compiler", default="avr-gcc")
    args = parser.parse_args(argv)
    check = Checker()
    check_generated(check, args.source)
    for part in ALL_PARTS:
        path = os.path.join(args.source, "host", "Partdescriptionfiles", part + ".xml")
        try:
            root = ElementTree.parse(path).getroot()
            macros = compiler_macros(args.mcu_compiler, part)
        except (OSError, ElementTree.ParseError, RuntimeError) as error:
            check.fault("%s: %s" % (part, error))
            continue
        check_registers(check, part, root, macros)
        check_memory(check, part, root, macros)
        check_packages(check, part, root, macros)
        check_converter(check, part, root, macros)
    for fault in check.faults:
        print(fault)
    print("%d part description files checked, %d faults" % (len(ALL_PARTS), len(check.faults)))
    return 1 if check.faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
