#!/usr/bin/env python3
"""Makes the board tables under host/Partdescriptionfiles/boards from the
pins_arduino.h of Arduino's AVR core: each Arduino pin name (D13, A0) and the
port pin it is (PB5, PC0), the board's part and its clock.

  make_board_files.py ROOT [--variants DIR] [--check]

--check compares the files with what would be written and fails on any
difference (the test does this); without it the files are written.
"""
import argparse
import difflib
import os
import re
import sys

DEFAULT_VARIANTS = "/usr/share/arduino/hardware/arduino/avr/variants"

# Board name, Arduino variant folder, part, clock in hertz.
BOARDS = [
    ("Uno", "standard", "ATmega328P", 16000000),
    ("Nano", "eightanaloginputs", "ATmega328P", 16000000),
    ("Mega", "mega", "ATmega2560", 16000000),
]


class VariantError(Exception):
    pass


def read_variant(path, seen=None):
    """The text of a pins_arduino.h with its local #include "..." inlined."""
    seen = seen or set()
    real = os.path.realpath(path)
    if real in seen:
        raise VariantError(f"{path}: includes itself")
    seen.add(real)
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as e:
        raise VariantError(f"{path}: {e.strerror}")
    def include(m):
        return read_variant(os.path.join(os.path.dirname(path), m.group(1)), seen)
    return re.sub(r'^\s*#include\s+"([^"]+)"', include, text, flags=re.M)


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def array(text, name, path):
    m = re.search(name + r"\s*\[\s*\]\s*=\s*\{(.*?)\}\s*;", text, flags=re.S)
    if not m:
        raise VariantError(f"{path}: no {name}[]")
    return [w.strip() for w in m.group(1).split(",") if w.strip()]


def last_define(text, name, path):
    values = re.findall(r"^\s*#define\s+" + name + r"\s+\(?\s*(\d+)\s*\)?\s*$", text, flags=re.M)
    if not values:
        raise VariantError(f"{path}: no #define {name}")
    return int(values[-1])


def board_pins(path):
    """[(name, port letter or None, bit or None, channel or None)] of a variant."""
    text = strip_comments(read_variant(path))
    ports = array(text, "digital_pin_to_port_PGM", path)
    masks = array(text, "digital_pin_to_bit_mask_PGM", path)
    if len(ports) != len(masks):
        raise VariantError(f"{path}: {len(ports)} ports but {len(masks)} bit masks")
    digital = []
    for i, (port, mask) in enumerate(zip(ports, masks)):
        pm = re.fullmatch(r"P([A-L])", port)
        bm = re.fullmatch(r"_BV\(\s*([0-7])\s*\)", mask)
        if not pm or not bm:
            raise VariantError(f"{path}: digital pin {i} is {port} {mask}")
        digital.append((pm.group(1), int(bm.group(1))))
    analog_count = last_define(text, "NUM_ANALOG_INPUTS", path)
    pins = [(f"D{i}", port, bit, None) for i, (port, bit) in enumerate(digital)]
    for n in range(analog_count):
        index = last_define(text, f"PIN_A{n}", path)
        if index < len(digital):
            port, bit = digital[index]
            pins.append((f"A{n}", port, bit, n))
        else:
            # Beyond the digital pins: an input of the converter only
            # (the Nano's A6 and A7).
            pins.append((f"A{n}", None, None, n))
    return pins


def board_text(name, variant, part, hertz, variants):
    path = os.path.join(variants, variant, "pins_arduino.h")
    lines = [
        f"# Arduino {name}: the pin names of Arduino's {variant} variant.",
        "# Made by scripts/boards/make_board_files.py from its pins_arduino.h; do not edit.",
        "# NAME PORTPIN [ADCn]: a port pin of '-' is an input of the converter only.",
        f"board {name}",
        f"part {part}",
        f"frequency {hertz}",
    ]
    for pin, port, bit, channel in board_pins(path):
        where = f"P{port}{bit}" if port else "-"
        lines.append(f"{pin} {where}" + (f" ADC{channel}" if channel is not None else ""))
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("--variants", default=DEFAULT_VARIANTS)
    ap.add_argument("--check", action="store_true")
    args = ap.parse_args()
    out = os.path.join(args.root, "host", "Partdescriptionfiles", "boards")
    failed = False
    for name, variant, part, hertz in BOARDS:
        try:
            text = board_text(name, variant, part, hertz, args.variants)
        except VariantError as e:
            print(f"error: {e}", file=sys.stderr)
            return 2
        file = os.path.join(out, f"{name}.board")
        if args.check:
            try:
                with open(file, encoding="utf-8") as f:
                    have = f.read()
            except OSError as e:
                print(f"{file}: {e.strerror}", file=sys.stderr)
                failed = True
                continue
            if have != text:
                failed = True
                sys.stdout.writelines(difflib.unified_diff(
                    have.splitlines(True), text.splitlines(True), file, "from pins_arduino.h"))
        else:
            os.makedirs(out, exist_ok=True)
            with open(file, "w", encoding="utf-8") as f:
                f.write(text)
    if failed:
        print("the board tables differ from pins_arduino.h: run scripts/boards/make_board_files.py",
              file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
