#include "components/lcd/HD44780U.h"

#include "components/lcd/LcdTrace.h"

namespace HD44780U {

namespace {
// Function set with DL = 1 ("0011 ****" on D7..D0, RS and R/W low): the
// initialisation sequence's word. D3..D0 are don't-care there, so 8-bit
// drivers that send their N and F bits with it (0x38) are accepted.
constexpr uint16_t kInitMask = lcdbus::kRS | lcdbus::kRW | 0xF0;
constexpr uint16_t kInitWord = 0x30;
constexpr const char* kFinished = "--> Finished HD44780U::MPU_interface::executeCommand()";

bool Bit(uint8_t byte, int bit) { return (byte >> bit) & 1; }

Transfer KindOf(uint16_t word) {
    switch (word & (lcdbus::kRS | lcdbus::kRW)) {
        case lcdbus::kRW:
            return Transfer::ReadAddress;
        case lcdbus::kRS:
            return Transfer::WriteData;
        case lcdbus::kRS | lcdbus::kRW:
            return Transfer::ReadData;
        default:
            return Transfer::WriteInstruction;
    }
}
}  // namespace

MPU_interface::MPU_interface(DisplayRam& ram, DisplayState& display, Panel* panel, LcdTrace* trace)
    : ram_(ram), display_(display), panel_(panel), trace_(trace) {
    strobeWatch_ = std::make_unique<CallOnRise<MPU_interface, uint8_t>>(&strobe_, this,
                                                                        &MPU_interface::onBusCycle);
    strobe_.set(0);
    protocol_.reset();
}

MPU_interface::~MPU_interface() = default;

void MPU_interface::setClock(const LcdClock* clock) {
    protocol_.setClock(clock);
    protocol_.reset();
}

void MPU_interface::finding(LcdProtocol::Kind kind) {
    const bool first = protocol_.note(kind);
    if (panel_) panel_->protocolFinding(kind, first);
}

void MPU_interface::checkTiming(bool busyRead) {
    if (protocol_.early(busyRead)) finding(LcdProtocol::Kind::TooEarly);
}

void MPU_interface::status(const char* text) {
    if (panel_) panel_->status(text);
}

void MPU_interface::trace(const char* text) {
    if (trace_) trace_->line(text);
}

void MPU_interface::redraw() {
    if (panel_) panel_->redraw();
}

void MPU_interface::onBusCycle() {
    if (!busWord_) return;
    const uint16_t word = busWord_->get();
    if (!initialised_) {
        initialisationCheck(word & lcdbus::kSignals);
    } else if (eightBit_) {
        eightBitTransfer(word);
    } else {
        fourBitTransfer(word);
    }
}

// Three Function set 8-bit words, then one more that sets the interface
// length (on an 8-bit bus also the line count and font). The words are
// consumed, not executed: they reach neither the trace nor the status
// texts of instructions.
void MPU_interface::initialisationCheck(uint16_t word) {
    if (initStep_ < 3 && (word & kInitMask) != kInitWord) {
        finding(LcdProtocol::Kind::BeforeInitialisation);
        status("Initialization: Failed.");
        initStep_ = 0;
        return;
    }
    // Each word is a Function set: 37 us before the next.
    checkTiming(false);
    protocol_.busyFor(LcdProtocol::kInstructionUs);
    if (initStep_ < 3) {
        ++initStep_;
        return;
    }
    // A Function set decides by its DL bit (0x20 and 0x28 choose 4 bits);
    // anything else leaves the controller in its 8-bit power-on state.
    const bool functionSet = (word & (lcdbus::kRS | lcdbus::kRW)) == 0 && (word & 0xE0) == 0x20;
    eightBit_ = functionSet ? Bit(static_cast<uint8_t>(word), 4) : true;
    // An 8-bit Function set carries the line count and font on D3 and D2;
    // on a 4-bit bus those lines are not connected.
    if (functionSet && eightBit_) {
        display_.twoLines = Bit(static_cast<uint8_t>(word), 3);
        display_.fiveByTen = Bit(static_cast<uint8_t>(word), 2);
    }
    initialised_ = true;
    nibblePhase_ = 0;
    pendingOp_ = Transfer::WriteInstruction;
    highLatch_ = 0;
    status("Initialization: OK");
}

void MPU_interface::present(uint16_t word, uint8_t lines, uint16_t drive) {
    busWord_->set(static_cast<uint16_t>((word & (lcdbus::kRS | lcdbus::kRW)) | lines | drive));
}

void MPU_interface::fourBitTransfer(uint16_t word) {
    const Transfer kind = KindOf(word);
    const uint8_t nibble = static_cast<uint8_t>((word >> 4) & 0x0F);
    if (nibblePhase_ == 0) {
        checkTiming(kind == Transfer::ReadAddress);
        pendingOp_ = kind;
        highLatch_ = static_cast<uint8_t>(nibble << 4);
        nibblePhase_ = 1;
        switch (kind) {
            case Transfer::ReadAddress:
                status("Reading AC/BF [1/2]");
                // BF (always 0) and AC6..AC4.
                present(word, static_cast<uint8_t>(ram_.addressCounter & 0x70),
                        lcdbus::kDrivesHigh);
                break;
            case Transfer::WriteData:
                dataLatch_ = highLatch_;
                status("Writing data [1/2]");
                break;
            case Transfer::ReadData:
                status("Reading memory [1/2]");
                present(word, static_cast<uint8_t>(ram_.readData(false) & 0xF0),
                        lcdbus::kDrivesHigh);
                break;
            default:
                break;
        }
        return;
    }

    if (kind == Transfer::WriteInstruction) {
        if (pendingOp_ != Transfer::WriteInstruction) pendingOp_ = Transfer::Mismatch;
        nibblePhase_ = 0;
        const uint8_t command = static_cast<uint8_t>(highLatch_ | nibble);
        highLatch_ = 0;
        executeCommand(command, pendingOp_);
        return;
    }
    if (kind != pendingOp_) {
        // A second nibble of another kind: the byte is lost; the next
        // instruction nibble ends the transfer as an unknown command.
        pendingOp_ = Transfer::Mismatch;
        return;
    }
    nibblePhase_ = 0;
    switch (kind) {
        case Transfer::ReadAddress:
            status("Reading AC/BF [2/2]");
            present(word, static_cast<uint8_t>((ram_.addressCounter & 0x0F) << 4),
                    lcdbus::kDrivesHigh);
            break;
        case Transfer::WriteData:
            status("Writing data [2/2]");
            writeData(static_cast<uint8_t>(dataLatch_ | nibble));
            break;
        case Transfer::ReadData: {
            const uint8_t c = ram_.readData(true);
            protocol_.busyFor(LcdProtocol::kInstructionUs);
            status("Reading memory [2/2]");
            present(word, static_cast<uint8_t>(c << 4), lcdbus::kDrivesHigh);
            break;
        }
        default:
            break;
    }
}

void MPU_interface::eightBitTransfer(uint16_t word) {
    const uint8_t byte = static_cast<uint8_t>(word & lcdbus::kDataLines);
    const uint16_t all = lcdbus::kDrivesHigh | lcdbus::kDrivesLow;
    checkTiming(KindOf(word) == Transfer::ReadAddress);
    switch (KindOf(word)) {
        case Transfer::WriteInstruction:
            executeCommand(byte, Transfer::WriteInstruction);
            break;
        case Transfer::ReadAddress:
            status("Reading AC/BF");
            present(word, static_cast<uint8_t>(ram_.addressCounter & 0x7F), all);
            break;
        case Transfer::WriteData:
            status("Writing data");
            writeData(byte);
            break;
        case Transfer::ReadData: {
            const uint8_t c = ram_.readData(true);
            protocol_.busyFor(LcdProtocol::kInstructionUs);
            status("Reading memory");
            present(word, c, all);
            break;
        }
        default:
            break;
    }
}

void MPU_interface::writeData(uint8_t byte) {
    const bool ddram = ram_.memorySelect == Memory::DDRAM;
    ram_.writeData(byte);
    protocol_.busyFor(LcdProtocol::kInstructionUs);
    if (ddram && display_.shiftOnEntry) {
        // The text follows the cursor: it moves left while writing forwards.
        if (ram_.increment) {
            shiftLeft();
        } else {
            shiftRight();
        }
    }
    redraw();
}

void MPU_interface::setInterfaceLength(bool eightBit) {
    // A change of length starts the next transfer afresh, so a driver's
    // second initialisation (0x3 0x3 0x3 0x2 on a 4-bit bus) resynchronises.
    eightBit_ = eightBit;
    nibblePhase_ = 0;
    highLatch_ = 0;
    pendingOp_ = Transfer::WriteInstruction;
}

void MPU_interface::executeCommand(uint8_t command, Transfer kind) {
    if (kind != Transfer::WriteInstruction) {
        status("Unknown command.");
        return;
    }
    // Clear display and Return home take 1.52 ms, the others 37 us.
    protocol_.busyFor(command == 0x01 || (command & 0xFE) == 0x02 ? LcdProtocol::kClearOrHomeUs
                                                                  : LcdProtocol::kInstructionUs);
    if (command & 0x80) {
        status("Command: Set ddram address.");
        ram_.setDdramAddress(command & 0x7F);
        redraw();
    } else if (command & 0x40) {
        status("Command: Set cgram address.");
        ram_.setCgramAddress(command & 0x3F);
    } else if (command & 0x20) {
        status("Command: Function set.");
        const bool f = Bit(command, 2), n = Bit(command, 3), dl = Bit(command, 4);
        trace(f ? "\t\t\t+Character font: 5x10" : "\t\t\t+Character font: 5x8");
        trace(n ? "\t\t\t+Number of display lines: 2" : "\t\t\t+Number of display lines: 1");
        trace(dl ? "\t\t\t+Interface length: 8 bits" : "\t\t\t+Interface length: 4 bits");
        display_.fiveByTen = f;
        display_.twoLines = n;
        setInterfaceLength(dl);
    } else if (command & 0x10) {
        status("Command: Cursor / Display shift.");
        const bool right = Bit(command, 2), displayShift = Bit(command, 3);
        trace(right ? "\t\t\t+Shift to the right" : "\t\t\t+Shift to the left");
        trace(displayShift ? "\t\t\t+Display shift" : "\t\t\t+Cursor move");
        if (displayShift) {
            if (right) {
                shiftRight();
            } else {
                shiftLeft();
            }
        } else {
            // The cursor moves like the counter after a data access, so it
            // stays on DDRAM (0x27 -> 0x40 in the two-line layout).
            ram_.memorySelect = Memory::DDRAM;
            ram_.step(right);
            redraw();
        }
    } else if (command & 0x08) {
        status("Command: Display on/off control.");
        const bool b = Bit(command, 0), c = Bit(command, 1), d = Bit(command, 2);
        trace(b ? "\t\t\t+Blink character: true" : "\t\t\t+Blink character: false");
        trace(c ? "\t\t\t+Show cursor: true" : "\t\t\t+Show cursor: false");
        trace(d ? "\t\t\t+Display: on" : "\t\t\t+Display: off");
        display_.blinkOn = b;
        if (panel_) panel_->startBlinkTimer();
        display_.cursorOn = c;
        display_.displayOn = d;
        redraw();
    } else if (command & 0x04) {
        status("Command: Entry mode set.");
        const bool s = Bit(command, 0), id = Bit(command, 1);
        trace(s ? "\t\t\t+Cursor move with display shift: true"
                : "\t\t\t+Cursor move with display shift: false");
        trace(id ? "\t\t\t+Cursor move direction: right (inc.)"
                 : "\t\t\t+Cursor move direction: left (dec.)");
        display_.shiftOnEntry = s;
        ram_.increment = id;
    } else if (command & 0x02) {
        status("Command: Return home.");
        ram_.memorySelect = Memory::DDRAM;
        ram_.addressCounter = 0;
        display_.shift = 0;
        redraw();
    } else if (command & 0x01) {
        status("Command: Display clear.");
        ram_.clear();
        ram_.increment = true;
        display_.shift = 0;
        redraw();
    } else {
        status("Unknown command.");
    }
    trace(kFinished);
}

void MPU_interface::shiftLeft() {
    display_.shift = (display_.shift + 1) % ram_.lineLength();
    if (trace_) trace_->line("--> ShiftLeft() : ", display_.shift);
    redraw();
}

void MPU_interface::shiftRight() {
    display_.shift = (display_.shift - 1) % ram_.lineLength();
    if (trace_) trace_->line("--> ShiftRight() : ", display_.shift);
    redraw();
}

void MPU_interface::reset() {
    protocol_.reset();
    if (panel_) panel_->protocolReset();
    ram_.clear();
    display_.shift = 0;
    redraw();
    eightBit_ = true;
    initialised_ = false;
    initStep_ = 0;
    pendingOp_ = Transfer::WriteInstruction;
    nibblePhase_ = 0;
    highLatch_ = 0;
    dataLatch_ = 0;
    // Releases the data lines; the bus interface writes nothing back.
    if (busWord_) busWord_->set(0);
}

}  // namespace HD44780U
