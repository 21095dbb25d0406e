// One LCD bus cycle: the program raises E (PORTA bit 1) with a data nibble
// on PA7..PA4 and RS high, the bus samples the lines, the controller stores
// half a character; then E falls. Measured on the toolkit-free bus with a
// plain register store, so the figure is the LCD's own cost per E strobe
// (two register notifications, one sample, one controller cycle).
#include <benchmark/benchmark.h>

#include <array>

#include "components/lcd/LcdBus.h"

namespace {

class Registers : public LcdPorts {
public:
    std::array<GatedValue<uint8_t>, 3> porta;  // PINA, DDRA, PORTA
    PortSubjects registers(int position) override {
        if (position != 0) return {};
        return {&porta[0], &porta[1], &porta[2]};
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

}  // namespace
