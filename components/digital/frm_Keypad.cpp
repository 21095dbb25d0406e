#include "components/digital/frm_Keypad.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>

#include "core/CLEDView.h"
#include "framework/Controls.h"

using namespace keypad;

namespace {
constexpr int kButtonWidth = 36;
constexpr int kButtonHeight = 32;
// The registers through which a program chooses the lines it drives.
constexpr int kDriveRegisters[] = {kDDRD, kPORTD, kDDRC, kPORTC, kDDRB, kPORTB};
// The bits of port D, C and B that carry a line: columns PD7, PD6 and PC0,
// rows PB3..PB0 (driven) and PB0..PB3 (sensed).
constexpr uint8_t kLineBitsD = 0xC0, kLineBitsC = 0x01, kLineBitsB = 0x0F;
uint8_t lineBits(int reg) {
    switch (reg) {
        case kPIND:
        case kDDRD:
        case kPORTD:
            return kLineBitsD;
        case kPINC:
        case kDDRC:
        case kPORTC:
            return kLineBitsC;
        default:
            return kLineBitsB;
    }
}
}  // namespace

frm_Keypad::frm_Keypad(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 150, 200, commandIndex, kCommands[kCmdKeypad].baseName, dialogId) {
    auto* grid = new QGridLayout(this);
    grid->setSpacing(8);
    grid->setContentsMargins(12, 12, 12, 12);
    for (int i = 0; i < kKeyCount; ++i) {
        const Key& key = kKeys[i];
        auto* button = new QPushButton(QString::fromUtf8(key.label), this);
        SetControlId(button, key.controlId);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setFixedSize(kButtonWidth, kButtonHeight);
        // A held key must be plain to see, not only a slightly darker face.
        button->setStyleSheet(
            QStringLiteral("QPushButton:checked { background-color: #7fa7d9; color: white;"
                           " border: 1px solid #2f5d99; border-radius: 3px; font-weight: bold; }"));
        // clicked() comes from the user (mouse, Space, Alt+digit) after the
        // check state flipped; setChecked() from typing does not emit it.
        connect(button, &QPushButton::clicked, this, &frm_Keypad::onKeyClicked);
        // Every change of the check state, however made (click, typing,
        // a script), before the clicked() that follows a click.
        connect(button, &QPushButton::toggled, this, [this, i](bool on) { held_[i] = on; });
        grid->addWidget(button, key.row, key.column, Qt::AlignCenter);
        buttons_[i] = button;
    }
    create(dialogId, hostWindow());
}

frm_Keypad::~frm_Keypad() = default;

void frm_Keypad::initDialog() {
    PluginForm::initDialog();
    // The wiring is bound by register name: a part change or a reset
    // (the core's update request) binds it again to that part's registers.
    if (core() && !updateWatch_) {
        updateWatch_ =
            std::make_unique<UpdateWatch>(core()->UpdateRequest(), this, &frm_Keypad::bind);
    }
    bind();
}

void frm_Keypad::bind() {
    observers_.clear();
    driveObservers_.clear();
    colDriven_ = {};
    rowDriven_ = {};
    if (!core()) return;

    // Every register of the wiring by its name; a part without one of the
    // ports leaves the keypad unconnected rather than bound to whatever
    // register sits at the ATmega16's index.
    std::array<int, kRegisterCount> index{};
    std::string missing;
    for (int slot = 0; slot < kRegisterCount; ++slot) {
        index[slot] = core()->FindRegister(kRegisterNames[slot]);
        if (index[slot] < 0 || !core()->IORegister(index[slot]))
            missing += (missing.empty() ? "" : ", ") + std::string(kRegisterNames[slot]);
    }
    if (!missing.empty()) {
        if (!core()->MappedPart().empty()) {
            core()->Log("frm_Keypad::bind()", "The keypad needs ports B, C and D; the " +
                                                  core()->MappedPart() + " has no " + missing +
                                                  ". The keypad is not connected.");
        }
        showWiring("not connected: no " + missing);
        return;
    }
    const auto subject = [&](int slot) { return core()->IORegister(index[slot - kFirstRegister]); };

    // Columns 0 and 1 report on PIND, column 2 on PINC, the rows on PINB.
    observers_.push_back(std::make_unique<LineObserver>(subject(kPIND), this,
                                                        &frm_Keypad::onColumnLine, kLineBitsD, 0));
    observers_.push_back(std::make_unique<LineObserver>(subject(kPIND), this,
                                                        &frm_Keypad::onColumnLine, kLineBitsD, 1));
    observers_.push_back(std::make_unique<LineObserver>(subject(kPINC), this,
                                                        &frm_Keypad::onColumnLine, kLineBitsC, 2));
    for (int r = 0; r < kRows; ++r) {
        observers_.push_back(std::make_unique<LineObserver>(subject(kPINB), this,
                                                            &frm_Keypad::onRowLine, kLineBitsB, r));
    }
    // A program changes which lines it drives through DDRx and PORTx; the
    // input registers need not change with them, so these are watched too.
    for (int slot : kDriveRegisters) {
        driveObservers_.push_back(std::make_unique<DriveObserver>(
            subject(slot), this, &frm_Keypad::onDriveRegister, lineBits(slot)));
    }
    for (int c = 0; c < kColumns; ++c) onColumnLine(c);
    for (int r = 0; r < kRows; ++r) onRowLine(r);
    showWiring("rows PB3-PB0, columns PD7 PD6 PC0");
}

Registers frm_Keypad::readRegisters() const {
    // The input registers are read through the observers, so a register
    // that no longer exists ends the handler with SubjectIsDestroyed.
    Registers regs;
    regs.set(kPIND, observers_.at(0)->value());
    regs.set(kPINC, observers_.at(2)->value());
    regs.set(kPINB, observers_.at(3)->value());
    for (size_t i = 0; i < driveObservers_.size(); ++i) {
        regs.set(kDriveRegisters[i], driveObservers_[i]->value());
    }
    return regs;
}

HeldKeys frm_Keypad::heldKeys() const { return held_; }

void frm_Keypad::onColumnLine(int32_t column) {
    guarded("frm_Keypad::onColumnLine()", [&] {
        if (column < 0 || column >= kColumns || observers_.size() < 7) return;
        colDriven_[column] = ColumnDriven(readRegisters(), column);
        followDrive();
    });
}

void frm_Keypad::onRowLine(int32_t row) {
    guarded("frm_Keypad::onRowLine()", [&] {
        if (row < 0 || row >= kRows || observers_.size() < 7) return;
        rowDriven_[row] = RowDriven(readRegisters(), row);
        followDrive();
    });
}

void frm_Keypad::onDriveRegister() {
    guarded("frm_Keypad::onDriveRegister()", [&] {
        if (observers_.size() < 7) return;
        const Registers regs = readRegisters();
        for (int c = 0; c < kColumns; ++c) colDriven_[c] = ColumnDriven(regs, c);
        for (int r = 0; r < kRows; ++r) rowDriven_[r] = RowDriven(regs, r);
        followDrive();
    });
}

void frm_Keypad::followDrive() {
    // A held key stays closed while the program moves from line to line:
    // apply the matrix again whenever the driven lines change.
    if (driveObservers_.size() < 6) return;  // still initialising
    const Registers regs = readRegisters();
    matrix_.held() = heldKeys();
    if (matrix_.driveChanged(regs)) applyMatrix(regs);
}

void frm_Keypad::applyMatrix(const Registers& regs) {
    matrix_.held() = heldKeys();
    const Inputs in = matrix_.apply(regs);
    // Each write notifies; the keypad's own observers then see an
    // unchanged drive and write nothing more.
    const auto write = [](LineObserver& observer, uint8_t value) {
        if (!observer.subject()) throw SubjectIsDestroyed();
        observer.valueSubject()->set(value);
    };
    if (in.pind != regs.get(kPIND)) write(*observers_[0], in.pind);
    if (in.pinc != regs.get(kPINC)) write(*observers_[2], in.pinc);
    if (in.pinb != regs.get(kPINB)) write(*observers_[3], in.pinb);
}

void frm_Keypad::onKeyClicked() {
    // Every key is handled alike: the matrix takes all held keys into
    // account, the one just clicked included.
    guarded("frm_Keypad::OnKey()", [&] {
        if (observers_.size() < 7 || driveObservers_.size() < 6) return;
        const Registers regs = readRegisters();
        for (int c = 0; c < kColumns; ++c) colDriven_[c] = ColumnDriven(regs, c);
        for (int r = 0; r < kRows; ++r) rowDriven_[r] = RowDriven(regs, r);
        applyMatrix(regs);
    });
}

void frm_Keypad::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1) {
        const int key = KeyForCharacter(text.at(0).toLatin1());
        if (key >= 0) {
            // Shows the key held or released; writes no register.
            QPushButton* button = buttons_[key];
            button->setChecked(!button->isChecked());
            event->accept();
            return;
        }
    }
    PluginForm::keyPressEvent(event);
}
