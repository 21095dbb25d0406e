// Pin lists with a board's names: a host that runs the part as an Uno or a
// Mega (the shipped board tables) tells the module its pin names, and every
// pin list of the component dialogs shows them beside the port pin, and the
// channel lists the names of the converter channels. The dialogs are
// grabbed to PNG (build/tests/boards/).
#include <QDir>
#include <QRadioButton>

#include "components/analog/frm_Capacity_Measurement.h"
#include "components/analog/frm_Slider.h"
#include "components/digital/frm_Keypad.h"
#include "components/digital/frm_LED.h"
#include "host/boards/Board.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class BoardPinsTest : public QuillUiTest {
protected:
    std::string board;

    void prepareHost(memhost::InMemoryHost& host) override {
        if (board.empty()) return;  // a host without boards
        std::vector<std::string> errors;
        const auto boards = quill::boards::loadBoards(
            QUILL_SOURCE_DIR "/host/Partdescriptionfiles/boards", &errors);
        const quill::boards::Board* b = quill::boards::findBoard(boards, board);
        ASSERT_TRUE(b) << board;
        host.target().boardName = b->name;
        for (const quill::boards::BoardPin& p : b->pins) {
            if (p.port) host.target().boardPins[{p.port, char('0' + p.bit)}] = b->nameOf(p.port, p.bit);
            if (p.channel >= 0) host.target().boardChannels[p.channel] = p.name;
        }
    }

    static void save(QWidget* dialog, const QString& name) {
        QDir().mkpath(QUILL_BINARY_DIR "/tests/boards");
        dialog->adjustSize();
        EXPECT_TRUE(dialog->grab().save(QUILL_BINARY_DIR "/tests/boards/" + name));
    }

    // The Slider's channel list as its "Settings..." sheet shows it.
    QStringList channelTexts(const QString& picture) {
        auto* slider = open<frm_Slider>(kCmdSlider);
        QStringList texts;
        answerDialogs([&](QDialog* d) {
            auto* list = findControlAs<QComboBox>(d, ids::slider::kChannelList);
            for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
            if (!picture.isEmpty()) save(d, picture);
            clickControl(d, 2);
        });
        triggerMenu(slider, menu::kSettingsCommand);
        return texts;
    }

    static QStringList pinTexts(QDialog* d, int first) {
        QStringList texts;
        for (int bit = 0; bit < 8; ++bit) texts << findControlAs<QRadioButton>(d, first + bit)->text();
        return texts;
    }
};

class UnoPinsTest : public BoardPinsTest {
protected:
    UnoPinsTest() {
        partName = "ATmega328P";
        board = "Uno";
    }
};

class MegaPinsTest : public BoardPinsTest {
protected:
    MegaPinsTest() {
        partName = "ATmega2560";
        board = "Mega";
    }
};

TEST_F(UnoPinsTest, PinListsShowTheBoardsNames) {
    EXPECT_EQ(core()->BoardPinNames().board(), "Uno");
    auto* led = open<frm_LED>(kCmdLed);
    QStringList portB, portC;
    answerDialogs([&](QDialog* d) {
        auto* port = findControlAs<QComboBox>(d, ids::led::kPortCombo);
        selectComboIndex(d, ids::led::kPortCombo, port->findText("PINB"));
        portB = pinTexts(d, ids::port_settings::kPin0);
        save(d, "uno_led.png");
        selectComboIndex(d, ids::led::kPortCombo, port->findText("PINC"));
        portC = pinTexts(d, ids::port_settings::kPin0);
        clickControl(d, 2);
    });
    triggerMenu(led, menu::kSettingsCommand);
    EXPECT_EQ(portB.join(", "), "PB0 (D8), PB1 (D9), PB2 (D10), PB3 (D11), PB4 (D12), PB5 (D13), "
                                "PB6, PB7");
    EXPECT_EQ(portC.value(0), "PC0 (A0)");
    EXPECT_EQ(portC.value(5), "PC5 (A5)");

    // The keypad's pin lists, and its scenario names for them.
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    QString d7, a0;
    answerDialogs([&](QDialog* d) {
        clickControl(d, ids::keypad::kPinWiring);
        auto* column = findControlAs<QComboBox>(d, ids::keypad::kFirstColumn);
        d7 = column->currentText();
        a0 = column->itemText(column->findText("PC0", Qt::MatchStartsWith));
        save(d, "uno_keypad.png");
        clickControl(d, 2);
    });
    triggerMenu(pad, menu::kSettingsCommand);
    EXPECT_EQ(d7, "PD7 (D7)");
    EXPECT_EQ(a0, "PC0 (A0)");
}

// The converter channels by the board's names; ADC6 and ADC7, which the
// Uno does not bring out, stay plain.
TEST_F(UnoPinsTest, TheSlidersChannelsShowTheBoardsNames) {
    const QStringList channels = channelTexts("uno_slider.png");
    ASSERT_GE(channels.size(), 8);
    EXPECT_EQ(channels.mid(0, 8).join(", "), "ADC0 (A0), ADC1 (A1), ADC2 (A2), ADC3 (A3), "
                                             "ADC4 (A4), ADC5 (A5), ADC6, ADC7");
}

TEST_F(MegaPinsTest, PinListsShowTheMegasNames) {
    auto* cap = open<frm_Capacity_Measurement>(kCmdCapacityMeasurement);
    QStringList portB, portK;
    answerDialogs([&](QDialog* d) {
        auto* port = findControlAs<QComboBox>(d, ids::capacity::kPortCombo);
        selectComboIndex(d, ids::capacity::kPortCombo, port->findText("PINB"));
        for (int id : ids::capacity::kPins) portB << findControlAs<QRadioButton>(d, id)->text();
        selectComboIndex(d, ids::capacity::kPortCombo, port->findText("PINK"));
        for (int id : ids::capacity::kPins) portK << findControlAs<QRadioButton>(d, id)->text();
        save(d, "mega_capacity.png");
        clickControl(d, 2);
    });
    triggerMenu(cap, menu::kSettingsCommand);
    EXPECT_EQ(portB.value(7), "PB7 (D13)");
    EXPECT_EQ(portK.value(0), "PK0 (A8)");
}

// Its sixteen channels: ADC8 is A8 (on PK0).
TEST_F(MegaPinsTest, TheSlidersChannelsShowTheMegasNames) {
    const QStringList channels = channelTexts("mega_slider.png");
    ASSERT_EQ(channels.size(), 16);
    EXPECT_EQ(channels.value(0), "ADC0 (A0)");
    EXPECT_EQ(channels.value(8), "ADC8 (A8)");
    EXPECT_EQ(channels.value(15), "ADC15 (A15)");
}

// Without a board the lists keep their plain labels.
TEST_F(BoardPinsTest, PinListsWithoutABoardArePlain) {
    auto* led = open<frm_LED>(kCmdLed);
    QStringList pins;
    answerDialogs([&](QDialog* d) {
        pins = pinTexts(d, ids::port_settings::kPin0);
        clickControl(d, 2);
    });
    triggerMenu(led, menu::kSettingsCommand);
    EXPECT_EQ(pins.value(5), "Pin 5");
    EXPECT_EQ(channelTexts({}).value(0), "ADC0");
}

}  // namespace
