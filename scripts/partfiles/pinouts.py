"""Package pinouts of the parts made by make_part_files.py, as the data sheets
draw them: pin number order, each pin its port bit (when it has one) first,
then its other functions. An inverted output is written with a leading "!"
(ATtiny85 !OC1A, !OC1B).

The alternate functions follow the data sheets' pin configuration figures,
including the pin-change interrupts (PCINTn).
"""

# ATmega328P: Uno, Nano (TQFP, with the two converter-only inputs ADC6/7).
_M328P_PDIP = [
    "PC6:RESET:PCINT14", "PD0:RXD:PCINT16", "PD1:TXD:PCINT17", "PD2:INT0:PCINT18",
    "PD3:INT1:OC2B:PCINT19", "PD4:XCK:T0:PCINT20", "VCC", "GND",
    "PB6:XTAL1:TOSC1:PCINT6", "PB7:XTAL2:TOSC2:PCINT7", "PD5:T1:OC0B:PCINT21",
    "PD6:AIN0:OC0A:PCINT22", "PD7:AIN1:PCINT23", "PB0:ICP1:CLKO:PCINT0",
    "PB1:OC1A:PCINT1", "PB2:SS:OC1B:PCINT2", "PB3:MOSI:OC2A:PCINT3", "PB4:MISO:PCINT4",
    "PB5:SCK:PCINT5", "AVCC", "AREF", "GND",
    "PC0:ADC0:PCINT8", "PC1:ADC1:PCINT9", "PC2:ADC2:PCINT10", "PC3:ADC3:PCINT11",
    "PC4:ADC4:SDA:PCINT12", "PC5:ADC5:SCL:PCINT13",
]

_M328P_TQFP = [
    "PD3:INT1:OC2B:PCINT19", "PD4:XCK:T0:PCINT20", "GND", "VCC", "GND", "VCC",
    "PB6:XTAL1:TOSC1:PCINT6", "PB7:XTAL2:TOSC2:PCINT7", "PD5:T1:OC0B:PCINT21",
    "PD6:AIN0:OC0A:PCINT22", "PD7:AIN1:PCINT23", "PB0:ICP1:CLKO:PCINT0",
    "PB1:OC1A:PCINT1", "PB2:SS:OC1B:PCINT2", "PB3:MOSI:OC2A:PCINT3", "PB4:MISO:PCINT4",
    "PB5:SCK:PCINT5", "AVCC", "ADC6", "AREF", "GND", "ADC7",
    "PC0:ADC0:PCINT8", "PC1:ADC1:PCINT9", "PC2:ADC2:PCINT10", "PC3:ADC3:PCINT11",
    "PC4:ADC4:SDA:PCINT12", "PC5:ADC5:SCL:PCINT13", "PC6:RESET:PCINT14",
    "PD0:RXD:PCINT16", "PD1:TXD:PCINT17", "PD2:INT0:PCINT18",
]

# ATmega644P: the ATmega16's pinout with a second USART and PCINTs.
_M644P_PORT_B = [
    "PB0:XCK0:T0:PCINT8", "PB1:T1:CLKO:PCINT9", "PB2:AIN0:INT2:PCINT10",
    "PB3:AIN1:OC0A:PCINT11", "PB4:SS:OC0B:PCINT12", "PB5:MOSI:PCINT13",
    "PB6:MISO:PCINT14", "PB7:SCK:PCINT15",
]
_M644P_PORT_D = [
    "PD0:RXD0:PCINT24", "PD1:TXD0:PCINT25", "PD2:RXD1:INT0:PCINT26",
    "PD3:TXD1:INT1:PCINT27", "PD4:XCK1:OC1B:PCINT28", "PD5:OC1A:PCINT29",
    "PD6:ICP1:OC2B:PCINT30", "PD7:OC2A:PCINT31",
]
_M644P_PORT_C = [
    "PC0:SCL:PCINT16", "PC1:SDA:PCINT17", "PC2:TCK:PCINT18", "PC3:TMS:PCINT19",
    "PC4:TDO:PCINT20", "PC5:TDI:PCINT21", "PC6:TOSC1:PCINT22", "PC7:TOSC2:PCINT23",
]
_M644P_PORT_A = ["PA%d:ADC%d:PCINT%d" % (n, n, n) for n in range(7, -1, -1)]

_M644P_PDIP = (_M644P_PORT_B + ["RESET", "VCC", "GND", "XTAL2", "XTAL1"] + _M644P_PORT_D +
               _M644P_PORT_C + ["AVCC", "GND", "AREF"] + _M644P_PORT_A)
_M644P_TQFP = (_M644P_PORT_B[5:] + ["RESET", "VCC", "GND", "XTAL2", "XTAL1"] + _M644P_PORT_D +
               ["VCC", "GND"] + _M644P_PORT_C + ["AVCC", "GND", "AREF"] + _M644P_PORT_A +
               ["VCC", "GND"] + _M644P_PORT_B[:5])

# ATmega2560: Arduino Mega.
_M2560_TQFP = [
    "PG5:OC0B",                                                    # 1
    "PE0:RXD0:PCINT8", "PE1:TXD0", "PE2:XCK0:AIN0", "PE3:OC3A:AIN1",
    "PE4:OC3B:INT4", "PE5:OC3C:INT5", "PE6:T3:INT6", "PE7:ICP3:CLKO:INT7",
    "VCC", "GND",                                                  # 10, 11
    "PH0:RXD2", "PH1:TXD2", "PH2:XCK2", "PH3:OC4A", "PH4:OC4B", "PH5:OC4C", "PH6:OC2B",
    "PB0:SS:PCINT0", "PB1:SCK:PCINT1", "PB2:MOSI:PCINT2", "PB3:MISO:PCINT3",
    "PB4:OC2A:PCINT4", "PB5:OC1A:PCINT5", "PB6:OC1B:PCINT6", "PB7:OC0A:OC1C:PCINT7",
    "PH7:T4", "PG3:TOSC2", "PG4:TOSC1",                             # 27..29
    "RESET", "VCC", "GND", "XTAL2", "XTAL1",                        # 30..34
    "PL0:ICP4", "PL1:ICP5", "PL2:T5", "PL3:OC5A", "PL4:OC5B", "PL5:OC5C", "PL6", "PL7",
    "PD0:SCL:INT0", "PD1:SDA:INT1", "PD2:RXD1:INT2", "PD3:TXD1:INT3",
    "PD4:ICP1", "PD5:XCK1", "PD6:T1", "PD7:T0",                     # 43..50
    "PG0:WR", "PG1:RD",                                             # 51, 52
    "PC0:A8", "PC1:A9", "PC2:A10", "PC3:A11", "PC4:A12", "PC5:A13", "PC6:A14", "PC7:A15",
    "VCC", "GND",                                                  # 61, 62
    "PJ0:RXD3:PCINT9", "PJ1:TXD3:PCINT10", "PJ2:XCK3:PCINT11", "PJ3:PCINT12",
    "PJ4:PCINT13", "PJ5:PCINT14", "PJ6:PCINT15",                    # 63..69
    "PG2:ALE",                                                     # 70
    "PA7:AD7", "PA6:AD6", "PA5:AD5", "PA4:AD4", "PA3:AD3", "PA2:AD2", "PA1:AD1", "PA0:AD0",
    "PJ7", "VCC", "GND",                                           # 79..81
] + ["PK%d:ADC%d:PCINT%d" % (n, n + 8, n + 16) for n in range(7, -1, -1)] + [  # 82..89
    "PF7:ADC7:TDI", "PF6:ADC6:TDO", "PF5:ADC5:TMS", "PF4:ADC4:TCK",
    "PF3:ADC3", "PF2:ADC2", "PF1:ADC1", "PF0:ADC0",                 # 90..97
    "AREF", "GND", "AVCC",                                         # 98..100
]

# ATtiny85 (the SOIC has the same pinout).
_T85_PDIP = [
    "PB5:RESET:ADC0:DW:PCINT5", "PB3:XTAL1:CLKI:!OC1B:ADC3:PCINT3",
    "PB4:XTAL2:CLKO:OC1B:ADC2:PCINT4", "GND",
    "PB0:MOSI:DI:SDA:AIN0:OC0A:!OC1A:AREF:PCINT0", "PB1:MISO:DO:AIN1:OC0B:OC1A:PCINT1",
    "PB2:SCK:USCK:SCL:ADC1:T0:INT0:PCINT2", "VCC",
]

# Part name -> ordered list of (package name, pins). The first package is the
# one the module counts the converter inputs on.
PACKAGES = {
    "ATmega328P": [("PDIP", _M328P_PDIP), ("TQFP", _M328P_TQFP)],
    "ATmega2560": [("TQFP", _M2560_TQFP)],
    "ATmega644P": [("PDIP", _M644P_PDIP), ("TQFP", _M644P_TQFP)],
    "ATtiny85": [("PDIP", _T85_PDIP)],
}
