// The plug-in's traffic with the host, recorded while a fixed script drives
// it: every read and write of the target's memory (kind, address, count and
// bytes), every cycle-count and description request, every refresh filter,
// then every line it wrote to the output. The recordings of the parts the
// plug-in has always served are kept in tests/golden/; a change to the
// register model must reproduce them byte for byte, for a host with and
// without direct access.
//
// QUILL_UPDATE_GOLDEN=1 writes the recordings instead of comparing them
// (for a change that is meant to alter the traffic; the diff shows how).
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "components/analog/frm_Slider.h"
#include "components/digital/frm_Keypad.h"
#include "components/digital/frm_LED.h"
#include "components/digital/frm_Switch.h"
#include "framework/PictureControl.h"
#include "tests/ui/UiTestSupport.h"

namespace {

struct TrafficCase {
    const char* part;
    bool direct;       // the host offers ITargetDirectAccess
    bool memoryView;   // the script reads the memory view
};

class HostTrafficTest : public QuillUiTest, public ::testing::WithParamInterface<TrafficCase> {
protected:
    HostTrafficTest() { partName = GetParam().part; }

    void prepareHost(memhost::InMemoryHost& h) override {
        h.target().offerDirectAccess = GetParam().direct;
        h.target().calls = &calls;
    }

    // A step of the program: the cycle count moves on, the program has
    // written the given registers, the host halts and the plug-in refreshes.
    void step(std::initializer_list<std::pair<const char*, uint8_t>> writes, uint32_t cycles = 7) {
        host().target().cycleCounter += cycles;
        for (auto [name, value] : writes) setIo(name, value);
        mark("step");
        refresh();
    }
    void mark(const std::string& what) { calls.push_back("-- " + what); }

    // OK in a pin-bound component's settings: the port whose list entry
    // ends with `port`, the pin, PIN mode, active high.
    void bindTo(PluginForm* form, int comboId, char port, int pin) {
        namespace ps = ids::port_settings;
        answerDialogs([=](QDialog* d) {
            auto* combo = findControlAs<QComboBox>(d, comboId);
            ASSERT_NE(combo, nullptr);
            int entry = -1;
            for (int i = 0; i < combo->count() && entry < 0; ++i)
                if (combo->itemText(i).endsWith(QChar(port))) entry = i;
            ASSERT_GE(entry, 0) << "no port " << port;
            combo->setCurrentIndex(entry);
            clickControl(d, ps::kPin0 + pin);
            clickControl(d, ps::kUsePin);
            clickControl(d, 1);
        });
        triggerMenu(form, PluginForm::kSettingsCommand);
        answerDialogs([](QDialog* d) { d->reject(); });
    }

    std::string recording() {
        std::ostringstream out;
        for (const std::string& line : calls) out << line << '\n';
        out << "== output\n";
        for (const auto& m : host().services().messages)
            out << m.kind << ' ' << m.prefix << (m.prefix.empty() ? "" : " ") << m.text << '\n';
        return out.str();
    }

    void runScript();

    std::vector<std::string> calls;
};

std::string goldenPath(const TrafficCase& c) {
    return std::string(QUILL_SOURCE_DIR "/tests/golden/host_traffic_") + c.part +
           (c.direct ? "_direct" : "_plain") + ".txt";
}

void HostTrafficTest::runScript() {
    const bool hasAdc = core()->AdcModel() != nullptr;

    mark("LED on PB3");
    auto* led = open<frm_LED>(kCmdLed);
    ASSERT_NE(led, nullptr);
    bindTo(led, ids::led::kPortCombo, 'B', 3);
    step({{"PINB", 0x08}});
    step({{"PINB", 0x00}, {"PORTC", 0x5A}});

    mark("Switch on PD2");
    auto* sw = open<frm_Switch>(kCmdSwitch);
    ASSERT_NE(sw, nullptr);
    bindTo(sw, ids::sw::kPortCombo, 'D', 2);
    step({{"PIND", 0x01}});
    mark("click");
    leftClick(sw->picture());
    step({});
    mark("click");
    leftClick(sw->picture());
    step({{"PORTB", 0x11}});

    mark("Keypad");
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    ASSERT_NE(pad, nullptr);
    step({{"DDRB", 0x0F}, {"PORTB", 0x08}, {"DDRD", 0x80}, {"PORTD", 0x80}});
    mark("key 1");
    leftClick(findControlAs<QPushButton>(pad, ids::keypad::KeyControlOf('1')));
    step({{"PORTB", 0x04}});
    mark("key 5");
    leftClick(findControlAs<QPushButton>(pad, ids::keypad::KeyControlOf('5')));
    step({{"PORTB", 0x08}});

    mark("logger");
    LoggerChoice choice;
    choice.enabled = true;
    for (const char* name : {"PORTB", "PIND", "ADCSRA", "SREG"}) {
        const int index = core()->FindRegister(name);
        if (index >= 0) choice.registers.push_back(index);
    }
    EXPECT_EQ(core()->ApplyLoggerChoice(choice), "");
    step({{"PORTB", 0x0C}});
    step({{"SREG", 0x80}});

    if (hasAdc) {
        mark("Slider and a conversion");
        auto* slider = open<frm_Slider>(kCmdSlider);
        ASSERT_NE(slider, nullptr);
        slider->trackbar()->setValue(30);
        slider->released();
        step({{"ADMUX", 0x40}, {"ADCSRA", 0x87}});
        step({{"ADCSRA", 0xC7}}, 30);
        step({{"ADCSRA", 0x97}}, 200);
        step({{"ADCSRA", 0x87}});  // the program clears ADIF
        mark("ADIF raised by the converter");
        core()->SetAdifPending();
        step({});
    }

    if (GetParam().memoryView) {
        mark("memory view");
        host().target().Sram()[0x10] = 0x42;
        core()->ReadMemoryView();
        step({{"SPL", 0x5F}, {"SPH", 0x04}});
        host().target().Sram()[0x3FF] = 0x24;
        core()->ReadMemoryView();
    }

    mark("part reset by the host");
    core()->HandleEvent(kEventPartReset, nullptr);
    step({{"PINB", 0x08}});
    mark("reset seen in the count");
    host().target().cycleCounter = 3;
    step({}, 0);
    step({{"PIND", 0x05}, {"PINB", 0x00}});
    mark("end");
}

TEST_P(HostTrafficTest, MatchesTheRecording) {
    runScript();
    if (HasFatalFailure()) return;
    const std::string now = recording();
    const std::string path = goldenPath(GetParam());
    if (std::getenv("QUILL_UPDATE_GOLDEN")) {
        std::ofstream(path, std::ios::binary) << now;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no recording " << path;
    std::stringstream golden;
    golden << in.rdbuf();
    if (golden.str() == now) return;
    // The first line that differs, with its number, is enough to start from.
    std::istringstream a(golden.str()), b(now);
    std::string la, lb;
    int line = 0;
    while (true) {
        ++line;
        const bool ga = static_cast<bool>(std::getline(a, la));
        const bool gb = static_cast<bool>(std::getline(b, lb));
        if (!ga && !gb) break;
        if (!ga || !gb || la != lb) {
            ADD_FAILURE() << path << ":" << line << "\n  recorded: " << (ga ? la : "<end>")
                          << "\n  now:      " << (gb ? lb : "<end>");
            return;
        }
    }
}

// The ATmega32's script leaves out the memory view: its window is its
// SRAM as the description gives it (2 KiB), no longer a fixed 1 KiB, which
// is the one intended change of its traffic.
INSTANTIATE_TEST_SUITE_P(
    OldParts, HostTrafficTest,
    ::testing::Values(TrafficCase{"ATmega16", false, true}, TrafficCase{"ATmega16", true, true},
                      TrafficCase{"ATmega32", false, false}, TrafficCase{"ATmega32", true, false},
                      TrafficCase{"ATmega8", false, true}, TrafficCase{"ATmega8", true, true}),
    [](const ::testing::TestParamInfo<TrafficCase>& info) {
        return std::string(info.param.part) + (info.param.direct ? "_direct" : "_plain");
    });

}  // namespace
