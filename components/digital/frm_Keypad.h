// Keypad: a 3 x 4 telephone keypad on port pins of the simulated part, for
// programs that scan a key matrix. Each key is a push-like toggle: a click
// holds it down, the next click releases it. Typing "0".."9", "*" or "#"
// flips a key without writing a register; the key takes effect when the
// program next changes the lines it drives.
//
// Wiring: the fixed one (rows PB3-PB0, reported on PB0-PB3, columns PD7
// PD6 PC0) until the user wires the keypad pin by pin in "Settings...".
// Either is bound by register name; a part without one of the ports leaves
// the keypad unconnected and says so.
//
// The matrix itself (which lines are driven, what the program reads) is
// KeypadMatrix.h; this window holds the keys and writes the inputs.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "components/digital/KeypadMatrix.h"
#include "framework/PinBinding.h"
#include "framework/PluginForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// The wiring dialog: "Wire pin by pin" and a pin for each column and row,
// chosen from the part's port pins. OK is refused, with the reason in the
// message line, while a pin carries two lines.
class frm_Keypad_configure : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString message READ message)
public:
    static constexpr int kTemplate = ids::keypad::kSettingsTemplate;

    explicit frm_Keypad_configure(QWidget* parent);

    // Fields exchanged with the controls: the fixed wiring, or the pins.
    bool byPins = false;
    std::array<keypad::Pin, keypad::kColumns> columns = keypad::Wiring().columnPins();
    std::array<keypad::Pin, keypad::kRows> rows = keypad::Wiring().rowPins();

    // The part's ports ("PINA", "PINB", ...: the letters count). The lists
    // show each pin as the core labels it: "PD7", with a board "PD7 (D7)".
    void setPortList(const std::vector<std::string>& names);

    // Loads the fields into the controls, runs the dialog modally and, on
    // OK, stores the controls back. QDialog::Accepted or Rejected.
    int run();
    void accept() override;
    QString message() const;

private:
    void loadControls();
    void enableLines(bool on);
    QComboBox* combo(int line) const { return combos_[line]; }

    QCheckBox* byPins_;
    std::array<QComboBox*, keypad::kLines> combos_{};  // columns 0..2, rows 0..3
    QLabel* message_;
    std::vector<char> ports_;
};

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
    // Whether the program drives the line high now (false unconnected).
    bool columnDriven(int column) const;
    bool rowDriven(int row) const;
    keypad::HeldKeys heldKeys() const;
    const keypad::Wiring& wiring() const { return wiring_; }
    frm_Keypad_configure* settings() const { return settings_; }

protected:
    void initDialog() override;
    void onCommand(int id) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Each watches only the bits of its register that carry a line of the
    // keypad: with the rest of the port busy (a display on the other pins)
    // nothing of the keypad's can have changed.
    using LineObserver = CallOnBitsChange1<frm_Keypad, uint8_t>;
    using DriveObserver = CallOnBitsChange<frm_Keypad, uint8_t>;
    using UpdateWatch = CallOnChange<frm_Keypad, uint8_t>;

    // The registers of one port of the wiring: PINx is read and written
    // through the first line observer on it.
    struct PortWatch {
        char letter = 0;
        LineObserver* pin = nullptr;
        std::unique_ptr<DriveObserver> ddr, port;
    };

    // Binds the wiring to the selected part's registers of those names.
    void bind();
    void configure();

    void onKeyClicked();
    keypad::Registers readRegisters() const;
    void applyMatrix(const keypad::Registers& regs);
    // Follows the registers of the wiring after a change of one of them.
    void followLines();
    // A key's button went down or up, however: a keypad that starts
    // following the drive takes it as it is now.
    void heldChanged(int key, bool on);
    void followDrive(const keypad::Registers& regs);
    bool connected() const { return !ports_.empty(); }
    // A key is held, or the bits a held key raised have not yet fallen:
    // only then can a change of the drive change an input.
    bool following() const { return matrix_.following() || keypad::AnyHeld(held_); }
    // Suspends the observers while not following, and resumes them when
    // that ends.
    void watchWhileFollowing();
    bool observing_ = true;

    std::array<QPushButton*, keypad::kKeyCount> buttons_{};
    // The keys held, as the buttons show them (kept with every toggle, so
    // that following the program's scan asks no widget).
    keypad::HeldKeys held_{};
    // The registers as followLines last followed them.
    keypad::Registers seen_;
    bool seenValid_ = false;
    // Observers 0..2 watch the columns' input registers, 3..6 the rows';
    // the key handlers write through them.
    std::vector<std::unique_ptr<LineObserver>> observers_;
    std::vector<PortWatch> ports_;
    keypad::Wiring wiring_;
    keypad::Matrix matrix_;
    std::unique_ptr<UpdateWatch> updateWatch_;
    frm_Keypad_configure* settings_;
    PortRegisters portList_;  // filled as the wiring dialog opens
};
