// The LCD's bus interface: the wiring of E, RS, R/W and the data lines to
// port pins of the simulated part, turned into bus cycles of the HD44780U.
//
// Wiring (LcdConfig): E, RS and R/W each on a port and bit (R/W may be tied
// to ground); the data lines on one port, either all eight (D0..D7 on bits
// 0..7) or four (D4..D7 on bits 4..7 with `highNibble`, on bits 0..3
// without), or pin by pin on any mix of ports. The lines are gathered per
// port through tables made when the configuration is applied. Ports are positions in
// the part's port list; the LcdPorts given to the bus turns them into
// register subjects. A signal is read from DDRx AND PORTx (what the program
// drives), or from PINx with `usePinRegister`.
//
// On each rising edge of E the bus samples RS, R/W and the data lines into
// the bus word and strobes the controller. The controller answers a read
// by driving data lines on the bus word; the bus then writes those lines,
// and only those, into the data port's PINx register, which is what the
// program reads. Nothing else is ever written: no PORTx, no DDRx, no bit
// of a line the controller does not drive.
//
// The E register watch follows the configuration: it watches PORTx and
// DDRx of E's port (PINx with `usePinRegister`), and moves when E's port or
// the register kind changes. It looks at E's bit only: the program moves
// the data and control lines of a shared port on nearly every refresh, and
// those lines matter only at E's rising edge, when they are read. Its fall
// may be told late (Observer::setFallsMayWait): a host may leave out the
// refresh after an instruction that only lowered E. A change
// of the core's update request (a reset of the simulated part) resets the
// controller.
//
// Toolkit-free: tested through any byte-register store with change
// notification.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "components/lcd/DisplayRam.h"
#include "components/lcd/HD44780U.h"
#include "components/lcd/LcdConfig.h"
#include "components/lcd/LcdTrace.h"
#include "framework/Observer.h"

// The registers of one port; a register the part does not have is null.
struct PortSubjects {
    GatedValue<uint8_t>* pin = nullptr;
    GatedValue<uint8_t>* ddr = nullptr;
    GatedValue<uint8_t>* port = nullptr;
};

// Turns a port position of LcdConfig into the port's registers.
class LcdPorts {
public:
    virtual ~LcdPorts() = default;
    virtual PortSubjects registers(int portPosition) = 0;
    // The part may have changed: forget what was resolved before.
    virtual void refresh() {}
};

class LcdBus {
public:
    // `panel` receives status texts and redraws; `updateRequest` is the
    // core's reset signal (may be null).
    LcdBus(HD44780U::Panel* panel, LcdPorts* ports, Value<uint8_t>* updateRequest);
    ~LcdBus();
    LcdBus(const LcdBus&) = delete;
    LcdBus& operator=(const LcdBus&) = delete;

    // Takes a new configuration: resolves its registers, moves the E
    // register watch, applies lines and columns and the trace setting.
    // Taking a configuration never produces an edge: E's level then is the
    // level an edge starts from.
    void applyConfig(const LcdConfig& config);
    const LcdConfig& config() const { return config_; }

    // The simulator's time for the protocol checker (null: unchecked).
    void setClock(const LcdClock* clock) { mpu_.setClock(clock); }

    // Observer callbacks. followEnable() follows E's level and samples
    // the bus when it rises.
    void followEnable();
    void sampleBus();
    void writeBack();
    // Resets the controller; writes nothing into the program's registers.
    void resetLcd();

    DisplayRam& ram() { return ram_; }
    const DisplayRam& ram() const { return ram_; }
    HD44780U::DisplayState& display() { return display_; }
    const HD44780U::DisplayState& display() const { return display_; }
    HD44780U::MPU_interface& controller() { return mpu_; }
    const HD44780U::MPU_interface& controller() const { return mpu_; }
    GatedValue<uint16_t>& busWord() { return busWord_; }
    LcdTrace& trace() { return trace_; }
    // The register the E watch is on (PORTx or PINx of E's port), or null.
    Subject* watchedRegister() const;
    // Counts what can change the controller's memory, its display flags or
    // its checker's findings: each bus cycle, configuration and reset.
    // While it stays, the panel shows the same (the cursor's blink aside).
    uint64_t stateChanges() const { return stateChanges_; }

private:
    struct Signal {
        GatedValue<uint8_t>* pin = nullptr;
        GatedValue<uint8_t>* ddr = nullptr;
        GatedValue<uint8_t>* port = nullptr;
    };
    // The lines on one port: `gather` turns the port's level into bus-word
    // bits, `scatter` a data byte into the port's bits; the controller's
    // answer goes to the pins of D7..D4 (drivenHigh) and D3..D0.
    struct Group {
        int position = -1;
        Signal regs;
        uint8_t mask = 0, drivenHigh = 0, drivenLow = 0;
        std::array<uint16_t, 256> gather{};
        std::array<uint8_t, 256> scatter{};
    };
    static constexpr int kMaxGroups = 10;  // RS, R/W and eight data lines

    template <typename Resolve>
    void buildGroups(Resolve resolve);
    uint8_t level(const Signal& s) const;
    bool enableLevel() const;
    void watchEnablePort();

    using RegisterWatch = CallOnChange<LcdBus, uint8_t>;
    using EnableWatch = CallOnBitsChange<LcdBus, uint8_t>;

    HD44780U::Panel* panel_;
    LcdPorts* ports_;
    LcdConfig config_;
    LcdTrace trace_;
    DisplayRam ram_;
    HD44780U::DisplayState display_;
    HD44780U::MPU_interface mpu_;
    GatedValue<uint16_t> busWord_;
    Signal enable_;
    std::array<Group, kMaxGroups> groups_{};
    int groupCount_ = 0;
    bool enableHigh_ = false;  // E's level as last seen
    bool inCycle_ = false;
    uint64_t stateChanges_ = 0;

    std::unique_ptr<EnableWatch> registerWatch_, ddrWatch_;
    std::unique_ptr<CallOnWrite<LcdBus>> busWatch_;
    std::unique_ptr<RegisterWatch> coreWatch_;
};
