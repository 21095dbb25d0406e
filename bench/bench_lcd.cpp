// One LCD bus cycle: the program raises E (PORTA bit 1) with a data nibble
// on PA7..PA4 and RS high, the bus samples the lines, the controller stores
// half a character; then E falls. Measured on the toolkit-free bus with a
// plain register store, so the figure is the LCD's own cost per E strobe
// (two register notifications, one sample, one controller cycle). Beside
// it the same on the tutorial's wiring, pin by pin over two ports; main.cpp
// prints the ratio.
#include <benchmark/benchmark.h>

#include <array>

#include "components/lcd/LcdBus.h"

namespace {

class Registers : public LcdPorts {
public:
    // PINx, DDRx, PORTx of ports A, B and D (positions 0, 1 and 3).
    std::array<GatedValue<uint8_t>, 3> porta, portb, portd;
    PortSubjects registers(int position) override {
        auto* p = position == 0 ? &porta : position == 1 ? &portb : position == 3 ? &portd : nullptr;
        if (!p) return {};
        return {&(*p)[0], &(*p)[1], &(*p)[2]};
    }
};

class Silent : public HD44780U::Panel {
public:
    void status(const char*) override {}
    void redraw() override {}
    void startBlinkTimer() override {}
};

void LcdBusCycle(benchmark::State& state) {
    Registers regs;
    Silent panel;
    LcdBus bus(&panel, &regs, nullptr);
    GatedValue<uint8_t>& port = regs.porta[2];
    regs.porta[1].set(0xFF);
    for (uint8_t n : {0x30, 0x30, 0x30, 0x20}) {
        port.set(n);
        port.set(static_cast<uint8_t>(n | 0x02));
    }
    uint8_t nibble = 0;
    for (auto _ : state) {
        const uint8_t value = static_cast<uint8_t>((nibble++ << 4) | 0x08);  // RS high
        port.set(value);
        port.set(static_cast<uint8_t>(value | 0x02));  // E rises: one bus cycle
    }
    benchmark::DoNotOptimize(bus.ram().ddram[0]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LcdBusCycle);

// The same cycle on the LiquidCrystal tutorial's wiring, pin by pin over
// two ports: RS on PB4, E on PB3, D4..D7 on PD5, PD4, PD3, PD2 (reversed),
// R/W grounded. The program puts the nibble on port D, then raises E.
void LcdBusCyclePinByPin(benchmark::State& state) {
    Registers regs;
    Silent panel;
    LcdBus bus(&panel, &regs, nullptr);
    LcdConfig c;
    c.pinByPin = true;
    c.rwWired = false;
    c.rsPort = c.enablePort = 1;
    c.rsPin = 4;
    c.enablePin = 3;
    c.dataPins[4] = {3, 5};
    c.dataPins[5] = {3, 4};
    c.dataPins[6] = {3, 3};
    c.dataPins[7] = {3, 2};
    bus.applyConfig(c);
    GatedValue<uint8_t>& control = regs.portb[2];
    GatedValue<uint8_t>& data = regs.portd[2];
    regs.portb[1].set(0xFF);
    regs.portd[1].set(0xFF);
    // Port D's bits for each nibble: D4 (bit 0 of the nibble) on PD5 ...
    std::array<uint8_t, 16> pins{};
    for (int n = 0; n < 16; ++n)
        for (int i = 0; i < 4; ++i)
            if (n & (1 << i)) pins[static_cast<std::size_t>(n)] |= static_cast<uint8_t>(1 << (5 - i));
    for (uint8_t n : {0x3, 0x3, 0x3, 0x2}) {
        data.set(pins[n]);
        control.set(0x08);
        control.set(0x00);
    }
    uint8_t nibble = 0;
    for (auto _ : state) {
        data.set(pins[nibble++ & 0x0F]);
        control.set(0x10);         // RS high
        control.set(0x18);         // E rises: one bus cycle
    }
    benchmark::DoNotOptimize(bus.ram().ddram[0]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LcdBusCyclePinByPin);

}  // namespace
