#include "components/digital/frm_Keypad.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "core/CLEDView.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"
#include "framework/PinLabels.h"

using namespace keypad;

namespace {
constexpr int kButtonWidth = 36;
constexpr int kButtonHeight = 32;

// A pin as a combo box item keeps its port and bit as data.
int PinData(const Pin& p) { return (p.port << 8) | p.bit; }
Pin PinOfData(int data) { return Pin{static_cast<char>(data >> 8), data & 0xFF}; }

// "Column 0 (1 4 7 *)", "Row 2 (7 8 9)": a line and the keys on it.
QString LineName(int line) {
    const bool column = line < kColumns;
    const int n = column ? line : line - kColumns;
    QString keys;
    for (const Key& k : kKeys) {
        if ((column ? k.column : k.row) == n) {
            if (!keys.isEmpty()) keys += ' ';
            keys += QChar::fromLatin1(k.character);
        }
    }
    return QStringLiteral("%1 %2 (%3)").arg(column ? "Column" : "Row").arg(n).arg(keys);
}
}  // namespace

// ---- the wiring dialog

frm_Keypad_configure::frm_Keypad_configure(QWidget* parent) : QDialog(parent) {
    setProperty("dialogId", kTemplate);
    setObjectName(QStringLiteral("dialog_%1").arg(kTemplate));
    setWindowTitle(QStringLiteral("Configure Keypad..."));
    setModal(true);

    byPins_ = new QCheckBox(QStringLiteral("Wire pin by pin (each line on one pin, both ways)"), this);
    SetControlId(byPins_, ids::keypad::kPinWiring);
    auto* fixed = new QLabel(
        QStringLiteral("Otherwise the fixed wiring: columns on PD7, PD6 and PC0; rows driven on "
                       "PB3..PB0 and read on PB0..PB3."),
        this);
    fixed->setWordWrap(true);

    auto* columnGroup = new QGroupBox(QStringLiteral("Columns"), this);
    auto* rowGroup = new QGroupBox(QStringLiteral("Rows"), this);
    auto* columnForm = new QFormLayout(columnGroup);
    auto* rowForm = new QFormLayout(rowGroup);
    for (int line = 0; line < kLines; ++line) {
        auto* box = new QComboBox(this);
        SetControlId(box, line < kColumns ? ids::keypad::kFirstColumn + line
                                          : ids::keypad::kFirstRow + line - kColumns);
        box->setMinimumContentsLength(10);
        (line < kColumns ? columnForm : rowForm)->addRow(LineName(line), box);
        combos_[line] = box;
    }
    connect(byPins_, &QCheckBox::toggled, this, &frm_Keypad_configure::enableLines);

    message_ = new QLabel(this);
    SetControlId(message_, ids::keypad::kMessage);
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText, QColor(200, 0, 0));
    message_->setPalette(palette);

    auto* lines = new QHBoxLayout;
    lines->addWidget(columnGroup, 0, Qt::AlignTop);
    lines->addWidget(rowGroup, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(byPins_);
    layout->addWidget(fixed);
    layout->addLayout(lines);
    layout->addWidget(message_);
    layout->addWidget(OkCancelButtons(this));  // OK runs accept(), which checks the pins
}

void frm_Keypad_configure::setPortList(const std::vector<std::string>& names) {
    ports_.clear();
    for (const std::string& name : names) {
        if (!name.empty()) ports_.push_back(name.back());
    }
}

void frm_Keypad_configure::enableLines(bool on) {
    for (QComboBox* box : combos_) box->setEnabled(on);
}

void frm_Keypad_configure::loadControls() {
    // With a board the pins show its names too: "PD7 (D7)".
    const CLEDView* core = CoreOf(this);
    for (int line = 0; line < kLines; ++line) {
        QComboBox* box = combo(line);
        const Pin chosen = line < kColumns ? columns[line] : rows[line - kColumns];
        box->clear();
        for (char port : ports_) {
            for (int bit = 0; bit < 8; ++bit) {
                const std::string text = core ? core->PinLabel(port, bit) : PinLabel(port, bit);
                box->addItem(QString::fromStdString(text), PinData(Pin{port, bit}));
            }
        }
        box->setCurrentIndex(box->findData(PinData(chosen)));
    }
    byPins_->setChecked(byPins);
    enableLines(byPins);
    message_->clear();
}

int frm_Keypad_configure::run() {
    loadControls();
    return RunModal(this);
}

void frm_Keypad_configure::accept() {
    std::array<Pin, kColumns> c = columns;
    std::array<Pin, kRows> r = rows;
    // A list that is empty (no part known yet) keeps the stored pins.
    for (int line = 0; line < kLines; ++line) {
        if (combo(line)->currentIndex() < 0) continue;
        const Pin p = PinOfData(combo(line)->currentData().toInt());
        (line < kColumns ? c[line] : r[line - kColumns]) = p;
    }
    if (byPins_->isChecked()) {
        const std::string problem = PinsProblem(c, r);
        if (!problem.empty()) {
            message_->setText(QString::fromStdString(problem) + ".");
            return;
        }
    }
    byPins = byPins_->isChecked();
    columns = c;
    rows = r;
    QDialog::accept();
}

QString frm_Keypad_configure::message() const { return message_->text(); }

// ---- the keypad

frm_Keypad::frm_Keypad(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 150, 200, commandIndex, kCommands[kCmdKeypad].baseName, dialogId),
      portList_(core, "PIN", "frm_Keypad") {
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
        connect(button, &QPushButton::toggled, this, [this, i](bool on) { heldChanged(i, on); });
        grid->addWidget(button, key.row, key.column, Qt::AlignCenter);
        buttons_[i] = button;
    }
    settings_ = new frm_Keypad_configure(this);
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
    ports_.clear();
    seenValid_ = false;
    if (!core()) return;

    // Every register of the wiring by its name; a part without one of the
    // ports leaves the keypad unconnected rather than bound to whatever
    // register sits at another part's index.
    std::string missing, needed;
    std::vector<char> letters(wiring_.ports().begin(), wiring_.ports().begin() + wiring_.portCount());
    std::vector<std::array<int, 3>> index;  // PINx, DDRx, PORTx of each port
    for (char letter : letters) {
        std::array<int, 3> regs{};
        int slot = 0;
        for (const char* prefix : {"PIN", "DDR", "PORT"}) {
            const std::string name = PortRegisterName(prefix, letter);
            regs[slot] = core()->FindRegister(name);
            if (regs[slot] < 0 || !core()->IORegister(regs[slot]))
                missing += (missing.empty() ? "" : ", ") + name;
            ++slot;
        }
        index.push_back(regs);
    }
    if (!missing.empty()) {
        std::vector<char> sorted = letters;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < sorted.size(); ++i) {
            needed += (i == 0 ? "" : i + 1 == sorted.size() ? " and " : ", ") + std::string(1, sorted[i]);
        }
        if (!core()->MappedPart().empty()) {
            core()->Log("frm_Keypad::bind()",
                        "The keypad needs port" + std::string(sorted.size() > 1 ? "s " : " ") +
                            needed + "; the " + core()->MappedPart() + " has no " + missing +
                            ". The keypad is not connected.");
        }
        showWiring("not connected: no " + missing);
        return;
    }
    const auto subject = [&](char letter, int reg) {
        const size_t at = std::find(letters.begin(), letters.end(), letter) - letters.begin();
        return core()->IORegister(index[at][reg]);
    };

    // The bits of each port that carry a line, driven or sensed.
    const auto lineBits = [this](char letter) {
        uint8_t bits = 0;
        auto add = [&](const Line& l) {
            for (const Pin& p : {l.drive, l.sense}) {
                if (p.port == letter) bits = static_cast<uint8_t>(bits | (1u << p.bit));
            }
        };
        for (int c = 0; c < kColumns; ++c) add(wiring_.column(c));
        for (int r = 0; r < kRows; ++r) add(wiring_.row(r));
        return bits;
    };
    // A line observer on the input register of each line's sense pin.
    for (int c = 0; c < kColumns; ++c) {
        const char port = wiring_.column(c).sense.port;
        observers_.push_back(std::make_unique<LineObserver>(
            subject(port, 0), this, &frm_Keypad::onColumnLine, lineBits(port), c));
    }
    for (int r = 0; r < kRows; ++r) {
        const char port = wiring_.row(r).sense.port;
        observers_.push_back(std::make_unique<LineObserver>(
            subject(port, 0), this, &frm_Keypad::onRowLine, lineBits(port), r));
    }
    // A program changes which lines it drives through DDRx and PORTx; the
    // input registers need not change with them, so these are watched too.
    for (char letter : letters) {
        PortWatch watch;
        watch.letter = letter;
        for (size_t i = 0; i < observers_.size() && !watch.pin; ++i) {
            if (observers_[i]->subject() == subject(letter, 0)) watch.pin = observers_[i].get();
        }
        watch.ddr = std::make_unique<DriveObserver>(subject(letter, 1), this,
                                                    &frm_Keypad::onDriveRegister, lineBits(letter));
        watch.port = std::make_unique<DriveObserver>(subject(letter, 2), this,
                                                     &frm_Keypad::onDriveRegister, lineBits(letter));
        ports_.push_back(std::move(watch));
    }
    for (int c = 0; c < kColumns; ++c) onColumnLine(c);
    for (int r = 0; r < kRows; ++r) onRowLine(r);
    observing_ = true;
    watchWhileFollowing();
    showWiring(wiring_.describe());
}

void frm_Keypad::watchWhileFollowing() {
    // At rest no change of the registers matters: the observers stand by,
    // so that neither the refresh tells them nor the host refreshes for
    // them. They read the registers still, and a key going down takes the
    // drive as the last refresh left it.
    const bool want = following();
    if (want == observing_) return;
    observing_ = want;
    auto watch = [want](Observer* o) {
        if (!o) return;
        if (want)
            o->resume();
        else
            o->suspend();
    };
    for (auto& o : observers_) watch(o.get());
    for (PortWatch& w : ports_) {
        watch(w.ddr.get());
        watch(w.port.get());
    }
}

Registers frm_Keypad::readRegisters() const {
    // The registers are read through the observers, so a register that no
    // longer exists ends the handler with SubjectIsDestroyed.
    Registers regs;
    for (const PortWatch& w : ports_) {
        PortValues& r = regs.of(w.letter);
        r.pin = w.pin ? w.pin->value() : 0;
        r.ddr = w.ddr->value();
        r.port = w.port->value();
    }
    return regs;
}

HeldKeys frm_Keypad::heldKeys() const { return held_; }

bool frm_Keypad::columnDriven(int column) const {
    if (column < 0 || column >= kColumns) throw std::out_of_range("no such column");
    return connected() && ColumnDriven(wiring_, readRegisters(), column);
}

bool frm_Keypad::rowDriven(int row) const {
    if (row < 0 || row >= kRows) throw std::out_of_range("no such row");
    return connected() && RowDriven(wiring_, readRegisters(), row);
}

void frm_Keypad::heldChanged(int key, bool on) {
    const bool was = following();
    held_[static_cast<size_t>(key)] = on;
    if (was || !on) {
        watchWhileFollowing();
        return;
    }
    // The drive was not followed while nothing was held: it is now what it
    // was at the registers' last change.
    guarded("frm_Keypad::heldChanged()", [&] {
        if (connected() && observers_.size() == kLines) matrix_.follow(wiring_, readRegisters());
    });
    watchWhileFollowing();
}

void frm_Keypad::onColumnLine(int32_t column) {
    guarded("frm_Keypad::onColumnLine()", [&] {
        if (column < 0 || column >= kColumns || observers_.size() < kLines) return;
        followLines();
    });
}

void frm_Keypad::onRowLine(int32_t row) {
    guarded("frm_Keypad::onRowLine()", [&] {
        if (row < 0 || row >= kRows || observers_.size() < kLines) return;
        followLines();
    });
}

void frm_Keypad::onDriveRegister() {
    guarded("frm_Keypad::onDriveRegister()", [&] {
        if (observers_.size() < kLines) return;
        followLines();
    });
}

void frm_Keypad::followLines() {
    // While no key is held and none has raised a bit, a change of the drive
    // changes no input: the program's scan is not followed (on a port the
    // keypad shares with a display, that is nearly every refresh).
    if (!following()) {
        seenValid_ = false;
        return;
    }
    const Registers regs = readRegisters();
    // Every line observer of a register is told of its change, one after
    // another: the first that finds the registers changed follows them for
    // all lines, and the others find nothing new.
    if (seenValid_ && regs == seen_) return;
    seen_ = regs;
    seenValid_ = true;
    followDrive(regs);
    // The last key up, the bits it raised fall with this drive.
    watchWhileFollowing();
}

void frm_Keypad::followDrive(const Registers& regs) {
    // A held key stays closed while the program moves from line to line:
    // apply the matrix again whenever the driven lines change.
    if (ports_.size() < static_cast<size_t>(wiring_.portCount())) return;  // still initialising
    matrix_.held() = heldKeys();
    if (matrix_.driveChanged(wiring_, regs)) applyMatrix(regs);
}

void frm_Keypad::applyMatrix(const Registers& regs) {
    matrix_.held() = heldKeys();
    const Registers in = matrix_.apply(wiring_, regs);
    // Each write notifies; the keypad's own observers then see an
    // unchanged drive and write nothing more.
    for (const PortWatch& w : ports_) {
        if (!w.pin || in.of(w.letter).pin == regs.of(w.letter).pin) continue;
        if (!w.pin->subject()) throw SubjectIsDestroyed();
        w.pin->valueSubject()->set(in.of(w.letter).pin);
    }
}

void frm_Keypad::onKeyClicked() {
    // Every key is handled alike: the matrix takes all held keys into
    // account, the one just clicked included.
    guarded("frm_Keypad::OnKey()", [&] {
        if (!connected() || observers_.size() < kLines) return;
        const Registers regs = readRegisters();
        applyMatrix(regs);
    });
    watchWhileFollowing();
}

void frm_Keypad::onCommand(int id) {
    if (id == kSettingsCommand) configure();
}

void frm_Keypad::configure() {
    // The part's ports as the dialog opens: the pin lists offer their pins.
    portList_.refresh();
    settings_->setPortList(portList_.list());
    settings_->byPins = !wiring_.fixed();
    settings_->columns = wiring_.columnPins();
    settings_->rows = wiring_.rowPins();
    if (settings_->run() != QDialog::Accepted) return;
    const Wiring wiring =
        settings_->byPins ? Wiring::ByPins(settings_->columns, settings_->rows) : Wiring();
    if (wiring == wiring_) return;
    // Rewired, the keypad starts with every key up: what held keys raised
    // on the old pins falls first.
    guarded("frm_Keypad::configure()", [&] {
        const bool held = AnyHeld(heldKeys());
        for (QPushButton* b : buttons_) b->setChecked(false);
        if (held && connected() && observers_.size() == kLines) applyMatrix(readRegisters());
    });
    wiring_ = wiring;
    matrix_.rewired();
    bind();
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
