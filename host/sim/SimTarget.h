// A simulated AVR microcontroller on simavr, as the host's debug target.
//
// SimTarget owns one simavr core, loads firmware into it, steps and runs it
// and gives the plug-in raw access to its memories with the meaning real
// hardware gives them:
//
// * Writes from the plug-in go straight into the core's memory: no
//   peripheral sees them as a program write (no timer restart, no UART
//   transmit, no flag clearing).
// * Port input pins. Each input pin has an external level that a switch or
//   a keypad sets, or none while nothing drives it. The program and the
//   plug-in read a PINx bit as hardware shows it:
//     - output pin (DDRx bit 1): the level it drives, the PORTx bit, or
//       while a timer's compare output owns the pin (its COM bits are not
//       0), the level the timer drove last (PWM, CTC toggle);
//     - input pin driven from outside: the external level;
//     - input pin driven by nothing: its pull-up, the PORTx bit (1 with the
//       pull-up on, 0 without).
//   A plug-in write to PINx changes only input pins, and only where the
//   written bit differs from what PINx shows: that bit then becomes driven
//   from outside with the written level. Writing PINx back as it was read
//   (the plug-in does so after every refresh) therefore changes nothing,
//   and a switch that flips a bit sets exactly that pin. External levels
//   outlive a reset of the part, like the switches wired to it.
// * ADCL/ADCH hold what the plug-in's converter model wrote; simavr's own
//   converter never overwrites them when the program reads them. simavr
//   times the conversions, clears ADSC, raises ADIF and the ADC interrupt.
//   ADIF behaves as on the chip: a program writing 1 to it clears it (and
//   the pending interrupt), writing 0 leaves it as it is. Free running
//   (ADATE with trigger source 0, started by writing ADSC) starts the next
//   conversion as soon as one ends, so ADSC stays 1 and ADIF rises once per
//   conversion.
// * SREG is read and written as the core's flags.
// * A sleeping program does not stall the caller: simulated time jumps to
//   the next timer event.
//
// Errors (unknown part, unreadable or corrupt firmware, firmware for
// another core) are thrown as SimError with a message fit for the user.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "contract/HostInterfaces.h"
#include "contract/HostProtocol.h"
#include "host/sim/FirmwareFile.h"
#include "host/sim/PartTable.h"
#include "host/sim/SimError.h"
#include "host/sim/SimLog.h"

struct avr_t;

namespace quill::sim {

class FlashMirror;
class TimerGenerator;
struct TimerOutput;

enum class RunState {
    Running,   // executes instructions
    Sleeping,  // waits in SLEEP for an interrupt; steps advance time
    Done,      // stopped for good (sleep with interrupts off)
    Crashed,   // stopped by an invalid instruction or memory access
    Exited     // stopped for good by its own exit (see exitCode())
};

class SimTarget : public SimMessageSink {
public:
    // Creates the part ("ATmega16"; case does not matter) from its
    // description in `partFolder` (PartTable.h). Throws SimError for a part
    // it cannot run or a clock it cannot time (see setFrequency).
    explicit SimTarget(std::string_view partName, uint32_t frequencyHz = 1000000,
                       const std::string& partFolder = defaultPartFolder());
    SimTarget(PartInfo part, uint32_t frequencyHz);
    ~SimTarget();
    SimTarget(const SimTarget&) = delete;
    SimTarget& operator=(const SimTarget&) = delete;

    const PartInfo& part() const { return part_; }
    const std::string& partName() const { return part_.name; }

    // Loads firmware and resets the part. An ".hex"/".ihex" file (or a file
    // that starts with ':') is read as Intel HEX, anything else as ELF; the
    // file is checked whole (see FirmwareFile.h) and simavr only ever sees
    // the bytes to place. Throws SimError, leaving the loaded program as it
    // was, when the file is missing, not a regular file, unreadable,
    // corrupt, empty, too large for the part or built for another part.
    void loadFirmware(const std::string& path);
    // Loads an image already read; `path` names it in messages.
    void loadImage(const FirmwareImage& image, const std::string& path);
    const std::string& firmwarePath() const { return firmwarePath_; }

    // Clock frequency in Hz, at least kMinClockHz (Clock.h); simavr's
    // timers and converter use it. Throws SimError for a slower clock.
    void setFrequency(uint32_t hz);
    uint32_t frequency() const;

    // Executes one instruction (a sleeping part advances to its next timer
    // event instead). Returns false, doing nothing, once the program has
    // stopped for good (Done or Crashed).
    bool step();
    // Executes up to count instructions; returns how many ran.
    uint64_t run(uint64_t count);

    // A caller that runs many instructions opens one Calling for all of
    // them and steps with stepCalled(): the per-call set-up of step() (where
    // simavr's messages go) is done once.
    class Calling {
    public:
        explicit Calling(SimTarget& target) : scope_(&target) {}
        Calling(const Calling&) = delete;
        Calling& operator=(const Calling&) = delete;

    private:
        SimLogScope scope_;
    };
    // step() inside an open Calling. Defined with the hooks
    // (SimTargetState.h), so that a run loop compiles it in: it runs after
    // every instruction.
    inline bool stepCalled();
    // Registers are numbered over the part's register bank: index i is data
    // address 0x20 + i, from the I/O space (0..63) up to the start of SRAM
    // (extended I/O, index 64 and up, on the parts that have it).
    unsigned bankSize() const { return part_.sramStart - kRegisterBankBase; }
    // The storage of register `index` when reading it means reading
    // storage, null for the registers whose reading means more (PINx,
    // SREG; read those with io()) and past the bank. Valid while the
    // target lives.
    const uint8_t* plainIoStorage(unsigned index) const;
    // The storage of the 64 I/O registers (data addresses 0x20..0x5F), in
    // place; plainIoStorage(i) points into it.
    const uint8_t* ioStorage() const;
    // The simulator's 64-bit cycle count, read in place.
    const uint64_t* cycleStorage() const;
    // What PINx (register `index`) shows depends on: the storage of DDRx
    // and PORTx, and the external levels and timer outputs, which change
    // only by a write from outside or a timer's compare output, counted in
    // *externalChanges. False when `index` is no PINx.
    bool pinDependencies(unsigned index, const uint8_t** ddr, const uint8_t** port,
                         const uint8_t** externalChanges) const;
    // Runs until the cycle count reaches at least target (or the program
    // stops); returns the instructions executed.
    uint64_t runUntilCycle(uint64_t target);
    // Resets the part as its reset pin would: registers, I/O and program
    // counter start over, the cycle count starts again at 0, flash stays.
    void reset();

    RunState state() const;
    uint64_t cycles() const;
    uint32_t cycleCounter() const { return static_cast<uint32_t>(cycles()); }
    uint32_t programCounter() const;  // byte address
    // A program built with avr-libc that calls exit(n) or returns n from
    // main disables interrupts and jumps to itself at __stop_program, n in
    // r24:r25. The program has exited when it stands there with interrupts
    // off: the stop is the symbol where the ELF file names it, otherwise
    // any cli followed by a jump to itself in flash. The part then stops
    // for good (state() Exited) with the code, until it is reset.
    std::optional<int> exitCode() const { return exitCode_; }
    // The addresses the program exits at (byte addresses; at most four).
    std::vector<uint32_t> exitStops() const {
        return {exitStops_.begin(), exitStops_.begin() + exitStopCount_};
    }

    // Size of a memory kind in bytes (I/O 64, registers 32, data space
    // RAMEND + 1); 0 for an unknown kind. Data space reads and writes of
    // extended I/O (0x60 up to SRAM) mean what those of the I/O space mean.
    uint32_t memorySize(LONG kind) const;
    // Raw access as described above. Fail (returning false and touching
    // nothing) for an unknown kind or a range outside the memory.
    bool read(LONG kind, uint32_t address, uint8_t* out, uint32_t count) const;
    bool write(LONG kind, uint32_t address, const uint8_t* data, uint32_t count);

    // Shorthands for one register (a bank index) in the plug-in's view.
    uint8_t io(unsigned index) const;
    void setIo(unsigned index, uint8_t value);

    // Told of every change to a pin's level that no port register write of
    // the program makes (port letter, pin mask, new level), for the host's
    // instruments: a timer's compare output, and a level driven in from
    // outside (a switch, the keypad). simavr's own pin IRQ tells of the
    // program's PORTx and DDRx writes only, and carries the PORTx bit, not
    // the level the pin has.
    struct PinListener {
        void (*call)(void* context, char port, uint8_t mask, bool level);
        void* context;
    };
    void addPinListener(const PinListener& listener) { pinListeners_.push_back(listener); }
    void removePinListener(void* context);

    // Messages simavr printed since the last call (errors, warnings).
    std::vector<std::string> takeMessages();

    // ---- Registers that may have changed (contract/TargetChanges.h)
    // One bit per register of the bank (bit i % 64 of word i / 64), set when
    // the program writes the register and whenever anything else may have
    // changed it; SPL, SPH and SREG are left out. The set is a superset:
    // where the target cannot tell which registers an event touched (a
    // timed event of a peripheral, an interrupt raised, taken or cleared, a
    // write or read with side effects, a reset), it holds the whole bank.
    static constexpr std::size_t kChangeWords = (kMaxRegisterBank + 63) / 64;
    // Copies the set into out[0 .. words-1] (words past kChangeWords are 0)
    // and empties it. A new target's set is the whole bank.
    void takeChanges(uint64_t* out, std::size_t words);
    // As takeChanges for the registers below `count`, writing the value of
    // each (as io() reads it) and of SPL, SPH and SREG into image[index];
    // those from `count` on stay in the set and out of `out`.
    void takeChangedValues(uint64_t* out, std::size_t words, uint8_t* image, std::size_t count);
    // Every register of the bank may have changed: the host ran something
    // other than instructions (its instruments feed the part).
    void markAllChanged() {
        changed_ = bankBits_;
        ++changeEvents_;
    }
    // Register `index` of the bank is in the next set (a change the host
    // noted apart from it); an index past the bank is ignored.
    void markRegisterChanged(unsigned index) {
        if (index < bankSize()) markChanged(index);
    }
    // Counts (wrapping) every marking of the set above: while it stands
    // still, no register of the bank but SPL, SPH, SREG and the unhooked
    // ones (changesUnmarked) can have changed. The refresh filter compares
    // registers only when it moved.
    const uint64_t* changeEventStorage() const { return &changeEvents_; }
    // Whether a change of register `index` of the bank may go unmarked.
    bool changesUnmarked(unsigned index) const;

    // The simavr core, for tools that need more (benchmarks, traces).
    avr_t* core() { return avr_; }

    // Called from the core's hooks; not for general use.
    struct PortState;
    struct ConverterFlagHook;
    struct CompareHook;
    struct ControlHook;
    struct BankHook;
    // A write or read of the program through the bank's handlers.
    void programWrote(const BankHook& hook);
    uint8_t programReadsPin(PortState& port);
    // The program wrote a timer control register: the phase-correct
    // generators follow the mode chosen, and outputs it connected or
    // disconnected change their pins.
    void timerControlWritten();
    // The host wrote data addresses [start, end): where a timer control
    // register is among them, the pins its compare outputs own follow.
    void hostWroteControls(uint32_t start, uint32_t end);
    // A timer's compare output drove `level` on the pins of `mask`.
    void timerDrives(PortState& port, uint8_t mask, bool level);
    // Pins of `port` in `changed` now have their bits of `levels`, set
    // otherwise than by the program's port write: counted for the refresh
    // filter, stored, and told to the pin listeners pin by pin.
    void pinsChanged(PortState& port, uint8_t changed, uint8_t levels);
    void addMessage(std::string text) override;

private:
    uint8_t readByte(uint32_t dataAddress) const;
    // A marked address (below kSpecialEnd, special_ not 0) as read.
    uint8_t specialValue(uint32_t dataAddress) const;
    uint8_t sregValue() const;
    void writeByte(uint32_t dataAddress, uint8_t value);
    PortState* portByPin(uint32_t dataAddress);
    const PortState* portByPin(uint32_t dataAddress) const;
    uint8_t pinView(const PortState& port) const;
    void syncPinStorage(const PortState& port);
    // Makes the port, converter and timer hooks of a new core.
    void setUpHooks();
    void installHooks();
    // Listens to every timer compare output that has a pin, and to the
    // generators' own outputs.
    void connectCompareOutputs();
    // Lets the output's pin follow its IRQ while it is connected.
    void connectOutput(const TimerOutput& output);
    // Wraps simavr's write handler of a timer control register (once).
    void hookTimerControl(uint16_t dataAddress);
    // One avr_run, then the converter's free-running restart; defined with
    // stepCalled.
    inline void runOne();
    void continueFreeRunning();

    PartInfo part_;
    std::string firmwarePath_;
    avr_t* avr_ = nullptr;
    // The core's flash: the part's, mirrored over all LPM, ELPM and SPM
    // reach (FlashMirror.h).
    std::unique_ptr<FlashMirror> flash_;
    std::vector<std::unique_ptr<PortState>> ports_;
    std::unique_ptr<ConverterFlagHook> adcsraHook_;
    std::vector<std::unique_ptr<CompareHook>> compareHooks_;
    std::vector<std::pair<uint16_t, std::unique_ptr<ControlHook>>> controlHooks_;
    // The data addresses from the first to past the last of them.
    uint32_t controlFirst_ = UINT32_MAX, controlEnd_ = 0;
    std::vector<PinListener> pinListeners_;
    // The timer modes simavr does not run (phase-correct PWM, the
    // OCR1C-topped Timer1), counted on the host.
    std::vector<std::unique_ptr<TimerGenerator>> timerGenerators_;
    std::vector<std::string> messages_;
    // Where the program exits, found when it is loaded; its code once it
    // did. Looked at after every instruction, so kept in place.
    void findExitStops(const FirmwareImage& image);
    void checkExit();
    static constexpr std::size_t kMaxExitStops = 4;
    std::array<uint32_t, kMaxExitStops> exitStops_{};
    std::size_t exitStopCount_ = 0;
    std::optional<int> exitCode_;
    // Data addresses below kSpecialEnd (the end of the largest register
    // bank) whose access goes through readByte/writeByte: PINx (marked
    // with its port's position in ports_ plus 1) and SREG (kSpecialSreg);
    // 0 marks plain storage.
    static constexpr uint32_t kSpecialEnd = kRegisterBankBase + kMaxRegisterBank;
    static constexpr uint8_t kSpecialSreg = 0xFF;
    std::array<uint8_t, kSpecialEnd> special_{};
    // The marked addresses in ascending order, so that a block access
    // visits those few instead of testing every address.
    std::array<uint16_t, kSpecialEnd> specialList_{};
    uint32_t specialCount_ = 0;
    // Counts (wrapping) the writes from outside that changed an external
    // level of an input pin, and the timer outputs that changed a pin.
    uint8_t externalChanges_ = 0;

    // The registers that may have changed (see takeChanges) and the bank's
    // registers.
    using ChangeSet = std::array<uint64_t, kChangeWords>;
    ChangeSet changed_{};
    ChangeSet bankBits_{};
    uint64_t changeEvents_ = 0;
    // The registers a peripheral may change in answer to a pin change
    // without a handler of theirs running (interrupt flags and timer
    // counts: a pin change raises a flag, clocks a counter), with their
    // values when the set was last taken. A take compares them and adds
    // those that differ, once something was marked since the last take:
    // marking them all at every port write put a dozen registers in most
    // sets that none of them had changed.
    struct Follower {
        const uint8_t* storage;  // flags and counts are read as storage
        uint16_t index;
        uint8_t value;
    };
    std::vector<Follower> followers_;
    uint64_t followersSweptAt_ = ~uint64_t{0};
    void sweepFollowers();
    // changeEvents_ when continueFreeRunning last looked: the converter's
    // registers and its trigger change only with a marking (a conversion
    // ends in a timed event; the program writes through a hook), so it
    // looks again only after one.
    uint64_t freeRunningCheckedAt_ = ~uint64_t{0};
    void markChanged(unsigned index) {
        changed_[index >> 6] |= uint64_t{1} << (index & 63);
        ++changeEvents_;
    }
    // Words first..last of `set` (those that can hold a bit).
    void markChanged(const ChangeSet& set, unsigned first, unsigned last) {
        for (unsigned w = first; w <= last; ++w) changed_[w] |= set[w];
        ++changeEvents_;
    }
    // One hook per register of the bank with a handler or plain storage
    // (SPL, SPH, SREG excepted), wrapping what simavr had registered.
    std::vector<std::unique_ptr<BankHook>> bankHooks_;
    // Wraps the bank's write and read handlers; again, where the part's
    // reset or installHooks registered the original anew.
    void hookBank();
};

}  // namespace quill::sim
