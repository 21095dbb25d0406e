// Keypad: a 3 x 4 telephone keypad on fixed pins of the simulated part
// (bound by register name; a part without ports B, C and D leaves it
// unconnected and says so), for
// programs that scan a key matrix. Each key is a push-like toggle: a click
// holds it down, the next click releases it. Typing "0".."9", "*" or "#"
// flips a key without writing a register; the key takes effect when the
// program next changes the lines it drives.
//
// The matrix itself (which lines are driven, what the program reads) is
// KeypadMatrix.h; this window holds the keys and writes the inputs.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "components/digital/KeypadMatrix.h"
#include "framework/PluginForm.h"

class QPushButton;

class frm_Keypad : public PluginForm {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::keypad::kTemplate;

    frm_Keypad(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Keypad() override;

    // Observer callbacks: a column's or row's input register changed.
    void onColumnLine(int32_t column);
    void onRowLine(int32_t row);
    // A data direction or output register of the wiring changed.
    void onDriveRegister();

    QPushButton* button(int key) const { return buttons_.at(key); }
    bool columnDriven(int column) const { return colDriven_.at(column) != 0; }
    bool rowDriven(int row) const { return rowDriven_.at(row) != 0; }
    keypad::HeldKeys heldKeys() const;

protected:
    void initDialog() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Each watches only the bits of its register that carry a line of the
    // keypad: with the rest of the port busy (a display on the other pins)
    // nothing of the keypad's can have changed.
    using LineObserver = CallOnBitsChange1<frm_Keypad, uint8_t>;
    using DriveObserver = CallOnBitsChange<frm_Keypad, uint8_t>;
    using UpdateWatch = CallOnChange<frm_Keypad, uint8_t>;

    // Binds the wiring to the selected part's registers of those names.
    void bind();

    void onKeyClicked();
    keypad::Registers readRegisters() const;
    void applyMatrix(const keypad::Registers& regs);
    void followDrive();

    std::array<QPushButton*, keypad::kKeyCount> buttons_{};
    // The keys held, as the buttons show them (kept with every toggle, so
    // that following the program's scan asks no widget).
    keypad::HeldKeys held_{};
    std::array<uint8_t, keypad::kColumns> colDriven_{};
    std::array<uint8_t, keypad::kRows> rowDriven_{};
    // Observers 0..2 watch the column inputs (PIND, PIND, PINC), 3..6 the
    // row input PINB; the key handlers write through their subjects.
    std::vector<std::unique_ptr<LineObserver>> observers_;
    std::vector<std::unique_ptr<DriveObserver>> driveObservers_;
    std::unique_ptr<UpdateWatch> updateWatch_;
    keypad::Matrix matrix_;
};
