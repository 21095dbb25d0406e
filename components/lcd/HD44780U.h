// The HD44780U character LCD controller as the program on the other end of
// the bus sees it: initialisation by instruction, 4-bit and 8-bit
// transfers, the instruction set, data reads and writes, busy flag and
// address reads.
//
// One bus cycle runs per rising edge of E. The bus interface samples the
// lines into the bus word (layout below) and strobes the controller; when
// the program reads, the controller puts its answer on the data lines of
// the bus word and marks the lines it drives, and the bus interface copies
// them onto the program's input register.
//
// Differences from the data sheet, kept on purpose: no instruction takes
// time, so the busy flag always reads 0; the initialisation sequence (three
// Function set 8-bit, then the interface length) is required before any
// other transfer. A program that would fail on real hardware because of
// either is noted by the protocol checker (LcdProtocol.h).
//
// Display shift: "shift left" moves the text left (column 0 then shows what
// column 1 showed), "shift right" moves it right; `shift` is the offset the
// panel adds to a column. Entry mode with S set shifts the display on every
// DDRAM write (left when incrementing, right when decrementing); Return
// home and Clear display undo the shift.
//
// Toolkit-free: the window gives it a Panel for status texts, redraws and
// the blink timer.
#pragma once

#include <cstdint>
#include <memory>

#include "components/lcd/DisplayRam.h"
#include "components/lcd/LcdProtocol.h"
#include "framework/Observer.h"

class LcdTrace;

namespace lcdbus {
// The bus word: the lines between program and controller.
constexpr uint16_t kDataLines = 0x00FF;   // D7..D0 (4-bit wiring: D7..D4 only)
constexpr uint16_t kRS = 0x0100;          // register select
constexpr uint16_t kRW = 0x0200;          // read (1) / write (0)
constexpr uint16_t kDrivesHigh = 0x0400;  // the controller drives D7..D4
constexpr uint16_t kDrivesLow = 0x0800;   // the controller drives D3..D0
constexpr uint16_t kSignals = kDataLines | kRS | kRW;
}  // namespace lcdbus

namespace HD44780U {

// Kind of the transfer that a first nibble opened.
enum class Transfer : uint8_t {
    WriteInstruction = 0,
    ReadAddress = 1,
    ReadData = 2,
    WriteData = 3,
    Mismatch = 4,
};

// Display flags the instructions set; the panel draws from them.
struct DisplayState {
    bool fiveByTen = false;     // F: 5x10 font (one-line displays only)
    bool twoLines = false;      // N
    bool cursorOn = false;      // C
    bool blinkOn = false;       // B
    bool displayOn = false;     // D: off blanks the panel; memory stays
    bool shiftOnEntry = false;  // S: DDRAM writes shift the display
    // Display shift, held within the line length: column c of a line shows
    // the line's cell c + shift (positive: the text moved left).
    int shift = 0;

    // The font drawn: 5x10 only when the program chose it for one line (the
    // controller ignores F with two lines).
    bool tallFont() const { return fiveByTen && !twoLines; }
};

// What the controller asks of the window that shows it.
class Panel {
public:
    virtual ~Panel() = default;
    // The latest status text (a string literal).
    virtual void status(const char* text) = 0;
    // The picture changed; repaint soon.
    virtual void redraw() = 0;
    // (Re)starts the 500 ms cursor blink timer.
    virtual void startBlinkTimer() = 0;
    // The protocol checker noted a finding of `kind`; `first`: the first of
    // its kind since the last reset.
    virtual void protocolFinding(LcdProtocol::Kind kind, bool first) {
        (void)kind;
        (void)first;
    }
    // The controller was reset: the checker's findings are cleared.
    virtual void protocolReset() {}
};

class MPU_interface {
public:
    // `panel` and `trace` may be null.
    MPU_interface(DisplayRam& ram, DisplayState& display, Panel* panel, LcdTrace* trace);
    ~MPU_interface();
    MPU_interface(const MPU_interface&) = delete;
    MPU_interface& operator=(const MPU_interface&) = delete;

    // The bus this controller answers on; no bus cycle runs without one.
    void attachBus(GatedValue<uint16_t>* busWord) { busWord_ = busWord; }
    // Writing 0 then 1 runs one bus cycle.
    Value<uint8_t>& strobe() { return strobe_; }
    // The time the protocol checker measures with (null: timing unchecked).
    void setClock(const LcdClock* clock);
    const LcdProtocol& protocol() const { return protocol_; }

    // Executes one instruction byte delivered by a transfer of `kind`;
    // the Mismatch kind executes nothing and reports "Unknown command.".
    void executeCommand(uint8_t command, Transfer kind);

    // The controller's part of a reset: memory cleared, display shift 0,
    // initialisation required again, transfer state back to the start of
    // a byte, the bus released.
    void reset();

    bool initialised() const { return initialised_; }
    bool eightBit() const { return eightBit_; }
    int initStep() const { return initStep_; }
    int nibblePhase() const { return nibblePhase_; }
    Transfer pendingOp() const { return pendingOp_; }

    // Display shift by one, held within the line length: the text moves
    // left (shiftLeft) or right.
    void shiftLeft();
    void shiftRight();

private:
    void onBusCycle();
    void initialisationCheck(uint16_t word);
    void fourBitTransfer(uint16_t word);
    void eightBitTransfer(uint16_t word);
    // Puts `lines` (D7..D0) on the bus, driving the lines in `drive`.
    void present(uint16_t word, uint8_t lines, uint16_t drive);
    void setInterfaceLength(bool eightBit);
    // A data write, with the display shift of entry mode S on DDRAM.
    void writeData(uint8_t byte);
    void status(const char* text);
    void finding(LcdProtocol::Kind kind);
    // A transfer starts; notes it when it comes too early.
    void checkTiming(bool busyRead);
    void trace(const char* text);
    void redraw();

    DisplayRam& ram_;
    DisplayState& display_;
    Panel* panel_;
    LcdTrace* trace_;
    GatedValue<uint16_t>* busWord_ = nullptr;

    bool initialised_ = false;
    bool eightBit_ = true;
    int initStep_ = 0;
    int nibblePhase_ = 0;
    Transfer pendingOp_ = Transfer::WriteInstruction;
    uint8_t highLatch_ = 0;
    uint8_t dataLatch_ = 0;

    LcdProtocol protocol_;
    Value<uint8_t> strobe_;
    std::unique_ptr<CallOnRise<MPU_interface, uint8_t>> strobeWatch_;
};

}  // namespace HD44780U
