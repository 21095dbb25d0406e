// Hitachi LCD window: text, shifts, cursor and blink as a program drives
// them through the core's registers; the panel picture at zoom 1 and 2
// against an expected rendering; configuration OK, Cancel and range
// errors; several windows, each with its own controller; closing releases
// the observers.
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <filesystem>
#include <vector>

#include "components/lcd/frm_LCD.h"
#include "framework/WindowMessages.h"
#include "resources/LcdGlyphs.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class LcdTest : public QuillUiTest {
protected:
    // One E pulse on PA1 with PORTA carrying `value` (default wiring).
    void strobe(uint8_t value) {
        setIo("DDRA", 0xFF);
        setIo("PORTA", value);
        refresh();
        setIo("PORTA", static_cast<uint8_t>(value | 0x02));
        refresh();
        setIo("PORTA", value);
        refresh();
    }
    void byte(bool rs, uint8_t b) {
        const uint8_t r = rs ? 0x08 : 0;
        strobe(static_cast<uint8_t>((b & 0xF0) | r));
        strobe(static_cast<uint8_t>((b << 4) | r));
    }
    void init() {
        for (uint8_t n : {0x30, 0x30, 0x30, 0x20}) strobe(n);
    }
    void text(const char* s) {
        while (*s) byte(true, static_cast<uint8_t>(*s++));
    }
    frm_LCD* openShown() {
        auto* lcd = open<frm_LCD>(kCmdLcd);
        EXPECT_NE(lcd, nullptr);
        if (lcd) lcd->show();
        return lcd;
    }
    // The panel as painted on screen, cut to its rectangle.
    static QImage painted(frm_LCD* lcd) {
        const QImage shot = lcd->display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return shot.copy(lcd->display()->panelRect());
    }
    static void save(const QImage& image, const QString& name) {
        QDir().mkpath(QUILL_BINARY_DIR "/tests/lcd");
        image.save(QUILL_BINARY_DIR "/tests/lcd/" + name);
    }
};

// The expected panel for two lines of text, drawn from the glyph table:
// raised edge, green face, black ink, cells every 7 x 15 pixels.
QImage ExpectedPanel(const char* line1, const char* line2, int zoom) {
    QImage image(115, 34, QImage::Format_RGB32);
    image.fill(qRgb(215, 255, 215));
    QPainter p(&image);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(0, 0, 114, 0);
    p.drawLine(0, 0, 0, 33);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, 33, 114, 33);
    p.drawLine(114, 0, 114, 33);
    p.end();
    const char* lines[2] = {line1, line2};
    for (int l = 0; l < 2; ++l) {
        for (int c = 0; lines[l][c]; ++c) {
            const auto* rows = lcdglyphs::kFont5x8[static_cast<uint8_t>(lines[l][c])];
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 5; ++x)
                    if ((rows[y] >> (4 - x)) & 1) image.setPixel(2 + 7 * c + x, 2 + 15 * l + y, 0);
        }
    }
    return image.scaled(image.size() * zoom);
}

}  // namespace

TEST_F(LcdTest, FreshWindowIsBlankAtZoomTwo) {
    frm_LCD* lcd = openShown();
    ASSERT_NE(lcd, nullptr);
    EXPECT_EQ(lcd->name(), "Hitachi LCD");
    EXPECT_EQ(lcd->display()->visibleLines(), (QStringList{"", ""}));
    EXPECT_EQ(lcd->statusText(), "");
    EXPECT_EQ(lcd->display()->zoom(), 2);
    EXPECT_EQ(lcd->display()->panelRect(), QRect(35, 26, 230, 68));
    EXPECT_EQ(frameOf(lcd)->size(), QSize(300, 140));
}

TEST_F(LcdTest, ProgramWritesTextShiftsAndMovesTheCursor) {
    frm_LCD* lcd = openShown();
    init();
    EXPECT_EQ(lcd->statusText(), "Initialization: OK");
    byte(false, 0x28);
    byte(false, 0x0C);
    byte(false, 0x06);
    text("Hello");
    EXPECT_EQ(lcd->statusText(), "Writing data [2/2]");
    // WM_CHANGESTATUSBAR sent to the window shows its text; the status line
    // shows the latest text: the controller's next one, even when it is the
    // one the controller sent before.
    byte(false, 0x80 | 0x05);
    EXPECT_EQ(lcd->statusText(), "Command: Set ddram address.");
    static const char kSent[] = "Sent by hand";
    WindowMessageEvent message(ChangeStatusBarMessage(), reinterpret_cast<uintptr_t>(kSent));
    QCoreApplication::sendEvent(lcd, &message);
    EXPECT_EQ(lcd->statusText(), kSent);
    byte(false, 0x80 | 0x05);
    EXPECT_EQ(lcd->statusText(), "Command: Set ddram address.");
    byte(false, 0xC0);
    text("World");
    EXPECT_EQ(lcd->display()->visibleLines(), (QStringList{"Hello", "World"}));
    EXPECT_EQ(lcd->display()->cursorCell(), QPoint(-1, -1));  // cursor off

    byte(false, 0x18);  // shift left: the text moves left by one
    EXPECT_EQ(lcd->display()->visibleLines(), (QStringList{"ello", "orld"}));
    byte(false, 0x1C);

    byte(false, 0x0E);  // cursor, no blink
    byte(false, 0x80 | 0x03);
    EXPECT_EQ(lcd->display()->cursorCell(), QPoint(0, 3));
    byte(false, 0x14);
    EXPECT_EQ(lcd->display()->cursorCell(), QPoint(0, 4));
    // Underline cursor: the character stays, a line appears below it.
    const QImage underline = lcd->display()->panelImage();
    EXPECT_EQ(underline.pixel(2 + 7 * 4, 2 + 8), qRgb(0, 0, 0));
    EXPECT_EQ(underline.pixel(2 + 7 * 4, 2 + 3), qRgb(0, 0, 0));  // 'o' ink kept

    // A second window has a controller of its own.
    frm_LCD* second = openShown();
    EXPECT_EQ(second->name(), "Hitachi LCD 2");
    EXPECT_EQ(second->display()->visibleLines(), (QStringList{"", ""}));
    text("!");
    EXPECT_EQ(second->display()->visibleLines(), (QStringList{"", ""}));
    EXPECT_EQ(second->statusText(), "Initialization: Failed.");
}

TEST_F(LcdTest, BlinkingCursorAlternatesBlockAndCharacter) {
    frm_LCD* lcd = openShown();
    init();
    text("A");
    byte(false, 0x0F);
    byte(false, 0x80);
    EXPECT_TRUE(lcd->display()->blinkTimerActive());
    EXPECT_FALSE(lcd->display()->blinkPhase());
    const QImage character = lcd->display()->panelImage();
    WindowMessageEvent blink(BlinkCursorMessage());
    QCoreApplication::sendEvent(lcd->display(), &blink);
    EXPECT_TRUE(lcd->display()->blinkPhase());
    const QImage block = lcd->display()->panelImage();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(block.pixel(2 + x, 2 + y), qRgb(0, 0, 0));
    EXPECT_EQ(character.pixel(2, 2), qRgb(215, 255, 215));  // 'A' has no ink in its corner
    // The timer toggles on its own.
    QTest::qWait(700);
    EXPECT_NE(lcd->display()->panelImage(), block);
    save(painted(lcd), "blink.png");
}

TEST_F(LcdTest, PanelMatchesTheExpectedRenderingAtZoomOneAndTwo) {
    frm_LCD* lcd = openShown();
    init();
    byte(false, 0x0C);
    text("Hello, LCD!");
    byte(false, 0xC0);
    text("0123 ~{}");
    for (int zoom : {1, 2}) {
        LcdConfig c = lcd->config();
        c.zoom = zoom;
        lcd->setConfig(c);
        const QImage shot = painted(lcd);
        const QImage expected = ExpectedPanel("Hello, LCD!", "0123 ~{}", zoom);
        save(shot, QString("panel_zoom%1.png").arg(zoom));
        save(expected, QString("expected_zoom%1.png").arg(zoom));
        ASSERT_EQ(shot.size(), expected.size());
        int differing = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) != expected.pixel(x, y) && differing++ == 0)
                    ADD_FAILURE() << "zoom " << zoom << ": first difference at " << x << "," << y
                                  << std::hex << " " << shot.pixel(x, y) << " vs "
                                  << expected.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

// The cell at (line, column) of the unzoomed panel as rows of 5 bits, ink 1.
std::vector<uint8_t> CellRows(const QImage& panel, int line, int column, int rows) {
    std::vector<uint8_t> out(static_cast<size_t>(rows));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < 5; ++x)
            if (panel.pixel(2 + 7 * column + x, 2 + 15 * line + y) == qRgb(0, 0, 0))
                out[static_cast<size_t>(y)] |= static_cast<uint8_t>(0x10 >> x);
    return out;
}

bool HasInk(const QImage& panel) {
    for (int y = 1; y < panel.height() - 1; ++y)
        for (int x = 1; x < panel.width() - 1; ++x)
            if (panel.pixel(x, y) == qRgb(0, 0, 0)) return true;
    return false;
}

TEST_F(LcdTest, CustomGlyphsAndDisplayOff) {
    frm_LCD* lcd = openShown();
    init();
    byte(false, 0x28);  // two lines, 5x8
    byte(false, 0x0C);
    // Pattern 1, its eighth (cursor) row included; codes 0x01 and 0x09 show it.
    const std::vector<uint8_t> bell{0x04, 0x0E, 0x0E, 0x0E, 0x1F, 0x00, 0x04, 0x15};
    byte(false, 0x40 | 8);
    for (uint8_t row : bell) byte(true, static_cast<uint8_t>(0xE0 | row));  // bits 7..5 unused
    byte(false, 0x80);
    byte(true, 0x01);
    byte(true, 0x09);
    byte(true, 'A');
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 0, 8), bell);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 1, 8), bell);
    EXPECT_EQ(lcd->display()->visibleLines()[0], QString::fromLatin1("\x01\x09"
                                                                     "A",
                                                                     3));
    // Rewriting the pattern redraws every cell showing it.
    byte(false, 0x40 | 8);
    byte(true, 0x1F);
    std::vector<uint8_t> rewritten = bell;
    rewritten[0] = 0x1F;
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 0, 8), rewritten);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 1, 8), rewritten);

    // Display off blanks text and cursor; both memories stay.
    byte(false, 0x0B);  // off, cursor and blink on
    EXPECT_FALSE(HasInk(lcd->display()->panelImage()));
    EXPECT_EQ(lcd->display()->visibleLines(), (QStringList{"", ""}));
    EXPECT_EQ(lcd->display()->cursorCell(), QPoint(-1, -1));
    byte(false, 0x0C);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 1, 8), rewritten);

    // One line, 5x10: code 0x04 and 0x05 show pattern 2, eleven rows at
    // CGRAM 0x20. With two lines the controller ignores F: 5x8 pattern 4.
    const std::vector<uint8_t> tall{0x1F, 0x01, 0x02, 0x04, 0x08, 0x10,
                                    0x10, 0x08, 0x04, 0x02, 0x1F};
    byte(false, 0x24);
    byte(false, 0x40 | 0x20);
    for (uint8_t row : tall) byte(true, row);
    byte(false, 0x80);
    byte(true, 0x04);
    byte(true, 0x0D);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 0, 11), tall);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 1, 11), tall);
    byte(false, 0x2C);
    std::vector<uint8_t> shortRows(tall.begin(), tall.begin() + 8);
    shortRows.resize(11, 0);
    EXPECT_EQ(CellRows(lcd->display()->panelImage(), 0, 0, 11), shortRows);
    save(painted(lcd), "custom_glyphs.png");
}

TEST_F(LcdTest, ProtocolFindingsInStatusBarAndOutput) {
    frm_LCD* lcd = openShown();
    auto& cycles = host().target().cycleCounter;
    cycles = 1000;  // 4 MHz: 148 cycles are 37 us
    for (uint8_t n : {0x30, 0x30, 0x30, 0x20}) {
        cycles += 148;
        strobe(n);
    }
    cycles += 148;
    byte(false, 0x01);
    cycles += 6000;  // 1.5 ms: Clear display takes 1.52 ms
    const uint32_t early = cycles;
    byte(true, 'A');
    byte(true, 'B');
    EXPECT_EQ(lcd->protocolText(), QString("Protocol: 2 too early from cycle %1").arg(early));
    int logged = 0;
    for (const std::string& line : host().services().Lines())
        logged +=
            line.find("Transfer before the previous instruction finished") != std::string::npos;
    EXPECT_EQ(logged, 1);  // once per kind and reset

    // A reset of the part clears the findings.
    cycles = 10;
    refresh();
    EXPECT_EQ(lcd->protocolText(), "");
    strobe(0x08);  // RS high: no part of the sequence
    EXPECT_EQ(lcd->protocolText(), "Protocol: 1 before initialisation from cycle 10");
}

TEST_F(LcdTest, ConfigureOkCancelAndRangeErrors) {
    frm_LCD* lcd = openShown();
    QString firstMessage;
    answerDialogs([&](QDialog* d) {
        auto* zoom = findControlAs<QLineEdit>(d, frm_LCD_configure::kZoom);
        zoom->setText("17");
        clickControl(d, 1);
        firstMessage = static_cast<frm_LCD_configure*>(d)->message();
        EXPECT_TRUE(d->isVisible());  // stays open
        zoom->setText("1");
        findControlAs<QLineEdit>(d, frm_LCD_configure::kScreenSize)->setText("20");
        selectComboIndex(d, frm_LCD_configure::kLines, 2);  // "4"
        selectComboIndex(d, frm_LCD_configure::kRwPin, 6);  // "none", PA0 .. PA5
        clickControl(d, 1);
    });
    triggerMenu(lcd, PluginForm::kSettingsCommand);
    EXPECT_EQ(firstMessage, "Zoom must be between 1 and 16.");
    EXPECT_EQ(lcd->config().zoom, 1);
    EXPECT_EQ(lcd->config().rwPin, 5);
    EXPECT_EQ(lcd->bus()->ram().lineCount(), 4);
    EXPECT_EQ(lcd->bus()->ram().columns(), 20);
    EXPECT_EQ(lcd->display()->visibleLines().size(), 4);

    // Four lines of 20 do not fit at zoom 8 in 300 x 140: the window grows.
    answerDialogs([&](QDialog* d) {
        findControlAs<QLineEdit>(d, frm_LCD_configure::kZoom)->setText("8");
        clickControl(d, 1);
    });
    triggerMenu(lcd, PluginForm::kSettingsCommand);
    EXPECT_EQ(frameOf(lcd)->size(), QSize(143 * 8 + 16, 64 * 8 + 20 + 16));
    EXPECT_EQ(lcd->display()->panelRect().size(), QSize(143 * 8, 64 * 8));

    const LcdConfig before = lcd->config();
    answerDialogs([&](QDialog* d) {
        findControlAs<QLineEdit>(d, frm_LCD_configure::kScreenSize)->setText("21");
        clickControl(d, 1);  // 21 columns on four lines: refused
        EXPECT_EQ(static_cast<frm_LCD_configure*>(d)->message(),
                  "Screen size must be between 1 and 20 for four lines.");
        selectComboIndex(d, frm_LCD_configure::kEnablePin, 16);
        clickControl(d, 2);
    });
    triggerMenu(lcd, PluginForm::kSettingsCommand);
    EXPECT_EQ(lcd->config(), before);
}

TEST_F(LcdTest, DialogListsPinRegistersAndRewiresE) {
    frm_LCD* lcd = openShown();
    QStringList items;
    answerDialogs([&](QDialog* d) {
        auto* box = findControlAs<QComboBox>(d, frm_LCD_configure::kDataPort);
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        selectComboIndex(d, frm_LCD_configure::kEnablePin, 8);  // PA0 .. PA7, PB0
        clickControl(d, 1);
    });
    triggerMenu(lcd, PluginForm::kSettingsCommand);
    EXPECT_EQ(items, (QStringList{"PINA", "PINB", "PINC", "PIND"}));
    // E is now PB0: strobes on PA1 do nothing, strobes on PB0 run cycles.
    setIo("DDRB", 0x01);
    init();
    EXPECT_EQ(lcd->statusText(), "");
    for (uint8_t n : {0x30, 0x30, 0x30, 0x20}) {
        setIo("PORTA", n);
        setIo("PORTB", 1);
        refresh();
        setIo("PORTB", 0);
        refresh();
    }
    EXPECT_EQ(lcd->statusText(), "Initialization: OK");
}

// Picks `text` from a combo box as a user does: a click opens its list,
// the arrow keys move to the item, Return chooses it.
void Pick(QComboBox* box, const QString& text) {
    ASSERT_TRUE(box && box->isEnabled());
    const int row = box->findText(text);
    ASSERT_GE(row, 0) << text.toStdString();
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }));
    for (int step = 0; step < box->count() && view->currentIndex().row() != row; ++step)
        QTest::keyClick(view, view->currentIndex().row() < row ? Qt::Key_Down : Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([view] { return !view->isVisible(); }));
    EXPECT_EQ(box->currentText(), text);
}

// The table's cells of port row `row`, bit 7 first.
QStringList WiringRow(const LcdWiringModel* model, int row) {
    QStringList cells{model->headerData(row, Qt::Vertical, Qt::DisplayRole).toString()};
    for (int c = 0; c < 8; ++c) cells << model->index(row, c).data().toString();
    return cells;
}

TEST_F(LcdTest, DialogWiresEachLinePinByPinAndShowsTheTable) {
    frm_LCD* lcd = openShown();
    namespace c = ids::lcd;
    answerDialogs([&](QDialog* d) {
        auto* dialog = static_cast<frm_LCD_configure*>(d);
        auto box = [d](int id) { return findControlAs<QComboBox>(d, id); };
        d->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
        // Consecutive wiring: the data lists show PA4..PA7 and take no choice.
        EXPECT_EQ(box(c::kDataPin0 + 4)->currentText(), "PA4");
        EXPECT_FALSE(box(c::kDataPin0 + 4)->isEnabled());
        EXPECT_EQ(WiringRow(dialog->wiring(), 0),
                  (QStringList{"PA", "D7", "D6", "D5", "D4", "RS", "R/W", "E", ""}));

        clickControl(d, c::kPinByPin);
        EXPECT_FALSE(box(c::kDataPort)->isEnabled());
        EXPECT_FALSE(box(c::kDataPin0)->isEnabled());  // 4-bit: D0..D3 unused
        Pick(box(c::kEnablePin), "PB3");
        Pick(box(c::kRsPin), "PB4");
        Pick(box(c::kRwPin), "none");
        Pick(box(c::kDataPin0 + 4), "PD5");
        Pick(box(c::kDataPin0 + 5), "PD4");
        Pick(box(c::kDataPin0 + 6), "PD3");
        Pick(box(c::kDataPin0 + 7), "PB3");  // E's pin: both show, and OK refuses
        EXPECT_EQ(WiringRow(dialog->wiring(), 0),
                  (QStringList{"PB", "", "", "", "RS", "E+D7", "", "", ""}));
        clickControl(d, 1);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(dialog->message(), "E and D7 are both on PB3: give each line a pin of its own.");
        Pick(box(c::kDataPin0 + 7), "PD2");
        EXPECT_EQ(WiringRow(dialog->wiring(), 0),
                  (QStringList{"PB", "", "", "", "RS", "E", "", "", ""}));
        EXPECT_EQ(WiringRow(dialog->wiring(), 1),
                  (QStringList{"PD", "", "", "D4", "D5", "D6", "D7", "", ""}));
        QDir().mkpath(QUILL_BINARY_DIR "/tests/lcd");
        d->grab().save(QUILL_BINARY_DIR "/tests/lcd/configure_pin_by_pin.png");
        clickControl(d, 1);
    });
    triggerMenu(lcd, PluginForm::kSettingsCommand);
    const LcdConfig& wired = lcd->config();
    ASSERT_TRUE(wired.pinByPin);
    EXPECT_FALSE(wired.rwWired);
    EXPECT_EQ(wired.dataPins[4], (LcdPin{3, 5}));
    EXPECT_EQ(wired.dataPins[7], (LcdPin{3, 2}));

    // The program drives the tutorial's pins one by one: "ok" arrives.
    setIo("DDRB", 0x18);
    setIo("DDRD", 0x3C);
    auto nibble = [&](bool rs, uint8_t n) {
        uint8_t d = 0;
        const int pins[4] = {5, 4, 3, 2};  // D4..D7
        for (int i = 0; i < 4; ++i)
            if (n & (1 << i)) d = static_cast<uint8_t>(d | (1 << pins[i]));
        setIo("PORTD", d);
        setIo("PORTB", rs ? 0x10 : 0);
        refresh();
        setIo("PORTB", rs ? 0x18 : 0x08);
        refresh();
        setIo("PORTB", rs ? 0x10 : 0);
        refresh();
    };
    for (uint8_t n : {0x3, 0x3, 0x3, 0x2}) nibble(false, n);
    EXPECT_EQ(lcd->statusText(), "Initialization: OK");
    for (char ch : {'o', 'k'}) {
        nibble(true, static_cast<uint8_t>(ch >> 4));
        nibble(true, static_cast<uint8_t>(ch & 0x0F));
    }
    EXPECT_EQ(lcd->bus()->ram().ddram[0], 'o');
    EXPECT_EQ(lcd->bus()->ram().ddram[1], 'k');
}

TEST_F(LcdTest, ClosingTheWindowReleasesItsObservers) {
    const int before = core()->UpdateRequest()->activeCount();
    const int porta = core()->IORegister(address("PORTA"))->activeCount();
    frm_LCD* lcd = openShown();
    EXPECT_EQ(core()->UpdateRequest()->activeCount(), before + 1);
    EXPECT_GT(core()->IORegister(address("PORTA"))->activeCount(), porta);
    delete frameOf(lcd);  // the host closes the docked window
    EXPECT_EQ(core()->UpdateRequest()->activeCount(), before);
    EXPECT_EQ(core()->IORegister(address("PORTA"))->activeCount(), porta);
    strobe(0x30);  // nothing left to call
}

// "Trace to result.txt" where result.txt is a FIFO (opening it for writing
// would wait for a reader for ever) or a folder: the window says in its
// status line why it cannot trace, the output says it too, and the program
// still drives the panel.
TEST_F(LcdTest, TraceFileThatCannotBeWrittenIsReportedInTheStatusLine) {
    namespace fs = std::filesystem;
    const fs::path before = fs::current_path();
    const fs::path scratch = fs::path(QUILL_BINARY_DIR) / "tests/lcd-trace-scratch";
    for (const char* kind : {"fifo", "folder"}) {
        SCOPED_TRACE(kind);
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        const fs::path trace = scratch / "result.txt";
        if (kind == std::string("fifo")) {
            ASSERT_EQ(mkfifo(trace.c_str(), 0600), 0);
        } else {
            fs::create_directory(trace);
        }
        fs::current_path(scratch);
        frm_LCD* lcd = openShown();
        answerDialogs([&](QDialog* d) {
            findControlAs<QCheckBox>(d, frm_LCD_configure::kTrace)->setChecked(true);
            clickControl(d, 1);
        });
        triggerMenu(lcd, PluginForm::kSettingsCommand);
        fs::current_path(before);
        EXPECT_TRUE(lcd->config().trace);
        const QString status = lcd->statusText();
        EXPECT_TRUE(status.startsWith("Cannot write")) << status.toStdString();
        EXPECT_TRUE(status.contains("result.txt")) << status.toStdString();
        bool logged = false;
        for (const std::string& line : host().services().Lines())
            logged = logged || line.find(status.toStdString()) != std::string::npos;
        EXPECT_TRUE(logged);
        init();
        byte(false, 0x0C);  // display on
        text("ok");
        EXPECT_TRUE(lcd->display()->visibleLines().value(0).startsWith("ok"));
        delete frameOf(lcd);
    }
    fs::remove_all(scratch);
}
