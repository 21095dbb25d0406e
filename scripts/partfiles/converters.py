"""The analog/digital converters of the parts made by make_part_files.py, as
their data sheets' tables of input channel selections and voltage
references give them. make_part_files.py writes each as the part file's
ANALOG_CONVERTER section; the bit numbers come from avr-libc's bit names.

A converter is a dict:
  channels      the number of analog inputs ADC0..ADCn-1
  mux           the bit names forming the input selection, most significant
                first, each with its register: [("ADCSRB", "MUX5"), ...]
  references    the bit names forming the reference selection, the same way
  free_running  the bit that makes the converter restart by itself
                (ADATE, or ADFR on parts without a trigger source)
  trigger       the trigger source bits (ADTS2..0); free running is source 0
  bipolar       the bit that makes differential results signed (BIN), on
                parts where they are unsigned without it; absent: always signed
  reversal      the bit that swaps the differential inputs (IPR)
  inputs        selection -> input: ("channel", n), ("diff", p, n, gain),
                ("bandgap", volts), ("temperature", volts), ("gnd",)
  refs          selection -> reference: ("aref",), ("avcc",), ("vcc",),
                ("internal", volts) for a fixed reference, ("vref", volts)
                for the one the electrical settings' Vref sets; a third
                item "disconnected" when the selection leaves the AREF pin
                alone (an external voltage on AREF then does not replace it)
Selections missing from inputs or refs are reserved.
"""


def _differential(first, bandgap, offset=0):
    """The ATmega16's differential table (selections 8..29), its channels
    counted from `first`, and the bandgap and 0 V at 30 and 31; `offset` is
    added to every selection."""
    a = [first + n for n in range(8)]
    inputs = {
        8: ("diff", a[0], a[0], 10), 9: ("diff", a[1], a[0], 10),
        10: ("diff", a[0], a[0], 200), 11: ("diff", a[1], a[0], 200),
        12: ("diff", a[2], a[2], 10), 13: ("diff", a[3], a[2], 10),
        14: ("diff", a[2], a[2], 200), 15: ("diff", a[3], a[2], 200),
    }
    for n in range(8):
        inputs[16 + n] = ("diff", a[n], a[1], 1)
    for n in range(6):
        inputs[24 + n] = ("diff", a[n], a[2], 1)
    if bandgap is not None:
        inputs[30] = ("bandgap", bandgap)
        inputs[31] = ("gnd",)
    for n in range(8):
        inputs[n] = ("channel", a[n])
    return {selection + offset: entry for selection, entry in inputs.items()}


_ADMUX_MUX5 = [("ADMUX", "MUX%d" % n) for n in range(4, -1, -1)]
_ADMUX_MUX4 = [("ADMUX", "MUX%d" % n) for n in range(3, -1, -1)]
_REFS = [("ADMUX", "REFS1"), ("ADMUX", "REFS0")]
_ADTS_B = [("ADCSRB", "ADTS%d" % n) for n in range(2, -1, -1)]

_M2560_INPUTS = _differential(0, 1.1)
_M2560_INPUTS.update(_differential(8, None, offset=32))

CONVERTERS = {
    "ATmega328P": {
        "channels": 8,
        "mux": _ADMUX_MUX4,
        "references": _REFS,
        "free_running": ("ADCSRA", "ADATE"),
        "trigger": _ADTS_B,
        "inputs": dict([(n, ("channel", n)) for n in range(8)] +
                       [(8, ("temperature", 0.314)), (14, ("bandgap", 1.1)), (15, ("gnd",))]),
        "refs": {0: ("aref",), 1: ("avcc",), 3: ("internal", 1.1)},
    },
    "ATmega2560": {
        "channels": 16,
        "mux": [("ADCSRB", "MUX5")] + _ADMUX_MUX5,
        "references": _REFS,
        "free_running": ("ADCSRA", "ADATE"),
        "trigger": _ADTS_B,
        "inputs": _M2560_INPUTS,
        "refs": {0: ("aref",), 1: ("avcc",), 2: ("internal", 1.1), 3: ("vref", 2.56)},
    },
    "ATmega644P": {
        "channels": 8,
        "mux": _ADMUX_MUX5,
        "references": _REFS,
        "free_running": ("ADCSRA", "ADATE"),
        "trigger": _ADTS_B,
        "inputs": _differential(0, 1.1),
        "refs": {0: ("aref",), 1: ("avcc",), 2: ("internal", 1.1), 3: ("vref", 2.56)},
    },
    "ATtiny85": {
        # ADC0..3 are PB5, PB2, PB4, PB3 (pinouts.py).
        "channels": 4,
        "mux": _ADMUX_MUX4,
        "references": [("ADMUX", "REFS2")] + _REFS,
        "free_running": ("ADCSRA", "ADATE"),
        "trigger": _ADTS_B,
        "bipolar": ("ADCSRB", "BIN"),
        "reversal": ("ADCSRB", "IPR"),
        "inputs": {
            0: ("channel", 0), 1: ("channel", 1), 2: ("channel", 2), 3: ("channel", 3),
            4: ("diff", 2, 2, 1), 5: ("diff", 2, 2, 20), 6: ("diff", 2, 3, 1),
            7: ("diff", 2, 3, 20), 8: ("diff", 0, 0, 1), 9: ("diff", 0, 0, 20),
            10: ("diff", 0, 1, 1), 11: ("diff", 0, 1, 20), 12: ("bandgap", 1.1),
            13: ("gnd",),
            # The sensor reads 300 codes at 25 degrees against 1.1 V.
            15: ("temperature", 0.3223),
        },
        # REFS2 is "don't care" where REFS1 is clear.
        "refs": {0: ("vcc", "disconnected"), 1: ("aref",), 2: ("internal", 1.1),
                 4: ("vcc", "disconnected"), 5: ("aref",),
                 6: ("vref", 2.56, "disconnected"), 7: ("vref", 2.56)},
    },
}


def bits_named(converter):
    """Every (register, bit name) the converter's fields use."""
    named = list(converter["mux"]) + list(converter["references"]) + list(converter["trigger"])
    for key in ("free_running", "bipolar", "reversal"):
        if key in converter:
            named.append(converter[key])
    return named


def _volts(value):
    return ("%.4f" % value).rstrip("0").rstrip(".")


def _bit(register, name, bits):
    return "<%s><REGISTER>%s</REGISTER><BIT>%d</BIT></%s>" % (name, register, bits[name], name)


def render(converter, bits):
    """The ANALOG_CONVERTER section's lines; `bits` gives each bit name's
    number."""
    out = ["  <ANALOG_CONVERTER>", "    <CHANNELS>%d</CHANNELS>" % converter["channels"]]
    for tag, key in (("MUX_BITS", "mux"), ("REFERENCE_BITS", "references"),
                     ("TRIGGER_BITS", "trigger")):
        out.append("    <%s>" % tag)
        out += ["      " + _bit(register, name, bits) for register, name in converter[key]]
        out.append("    </%s>" % tag)
    for tag, key in (("FREE_RUNNING_BIT", "free_running"), ("BIPOLAR_BIT", "bipolar"),
                     ("REVERSAL_BIT", "reversal")):
        if key in converter:
            out.append("    <%s>%s</%s>" % (tag, _bit(*converter[key], bits), tag))
    out.append("    <INPUTS>")
    for selection in sorted(converter["inputs"]):
        entry = converter["inputs"][selection]
        kind = entry[0]
        if kind == "channel":
            body = "<CHANNEL>ADC%d</CHANNEL>" % entry[1]
        elif kind == "diff":
            body = "<POSITIVE>ADC%d</POSITIVE><NEGATIVE>ADC%d</NEGATIVE><GAIN>%d</GAIN>" % entry[1:]
        elif kind in ("bandgap", "temperature"):
            body = "<%s>%s</%s>" % (kind.upper(), _volts(entry[1]), kind.upper())
        elif kind == "gnd":
            body = "<GND/>"
        else:
            raise ValueError("unknown input kind %r" % kind)
        out.append("      <INPUT%d>%s</INPUT%d>" % (selection, body, selection))
    out.append("    </INPUTS>")
    out.append("    <REFERENCES>")
    for selection in sorted(converter["refs"]):
        entry = list(converter["refs"][selection])
        disconnected = entry[-1] == "disconnected"
        if disconnected:
            entry.pop()
        kind = entry[0]
        if kind in ("aref", "avcc", "vcc"):
            body = "<%s/>" % kind.upper()
        elif kind in ("internal", "vref"):
            body = "<%s>%s</%s>" % (kind.upper(), _volts(entry[1]), kind.upper())
        else:
            raise ValueError("unknown reference kind %r" % kind)
        if disconnected:
            body += "<AREF_PIN>DISCONNECTED</AREF_PIN>"
        out.append("      <REFERENCE%d>%s</REFERENCE%d>" % (selection, body, selection))
    out += ["    </REFERENCES>", "  </ANALOG_CONVERTER>"]
    return out
