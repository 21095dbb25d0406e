// Texts about scenarios: what a command does ("expect pin PORTA.0 is 1"),
// diagnostics, and the script's set-up queries.
#include <cstdio>
#include <filesystem>

#include "host/scenario/Lexer.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/Values.h"

namespace quill::scenario {

namespace {

std::string conditionText(const Condition& condition) {
    if (const auto* line = std::get_if<LcdLineCondition>(&condition))
        return "line " + std::to_string(line->line) + " of " + inQuotes(line->window) + " shows " +
               inQuotes(lcdTextForReport(line->text));
    if (const auto* picture = std::get_if<LcdPictureCondition>(&condition))
        return "the panel of " + inQuotes(picture->window) + " looks as " + picture->path;
    if (const auto* protocol = std::get_if<LcdProtocolCondition>(&condition))
        return "the protocol checker of " + inQuotes(protocol->window) +
               (protocol->warned ? " warned" : " found nothing to warn of");
    if (const auto* cursor = std::get_if<LcdCursorCondition>(&condition)) {
        if (cursor->none) return inQuotes(cursor->window) + " shows no cursor";
        return "the cursor of " + inQuotes(cursor->window) + " stands at line " +
               std::to_string(cursor->line) + ", column " + std::to_string(cursor->column);
    }
    if (const auto* pin = std::get_if<PinCondition>(&condition))
        return "pin " + pin->reg + "." + std::to_string(pin->bit) + " is " +
               (pin->level ? "1" : "0");
    const auto& reg = std::get<RegisterCondition>(condition);
    char text[64];
    if (reg.mask == 0xff) {
        std::snprintf(text, sizeof text, " is 0x%02X", reg.value);
    } else {
        std::snprintf(text, sizeof text, " is 0x%02X in mask 0x%02X", reg.value, reg.mask);
    }
    return "register " + reg.reg + text;
}

std::string hexByte(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

const char* baseName(ComponentKind kind) { return kCommands[commandOf(kind)].baseName; }

std::string Diagnostic::text() const {
    if (line <= 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ": " + message;
}

std::string Script::part() const {
    for (const Step& step : steps)
        if (const auto* p = std::get_if<PartCommand>(&step.command)) return p->name;
    for (const Step& step : steps)
        if (const auto* b = std::get_if<BoardCommand>(&step.command)) return b->part;
    return kDefaultPart;
}

uint32_t Script::boardHertz() const {
    for (const Step& step : steps)
        if (const auto* b = std::get_if<BoardCommand>(&step.command)) return b->hertz;
    return 0;
}

const FirmwareCommand* Script::firmware() const {
    for (const Step& step : steps)
        if (const auto* f = std::get_if<FirmwareCommand>(&step.command)) return f;
    return nullptr;
}

std::string Script::resolvePath(const std::string& path,
                                const std::vector<std::string>& searchDirs) const {
    namespace fs = std::filesystem;
    const fs::path given(path);
    if (given.is_absolute()) return path;
    const fs::path local = directory.empty() ? given : fs::path(directory) / given;
    std::error_code error;
    if (fs::exists(local, error)) return local.string();
    for (const std::string& dir : searchDirs) {
        const fs::path candidate = fs::path(dir) / given;
        if (fs::exists(candidate, error)) return candidate.string();
    }
    return local.string();
}

std::string describe(const Command& command) {
    struct Describe {
        std::string operator()(const PartCommand& c) const { return "part " + c.name; }
        std::string operator()(const BoardCommand& c) const {
            return "board " + c.name + " (" + c.part + ", " + std::to_string(c.hertz / 1000000) +
                   " MHz)";
        }
        std::string operator()(const FirmwareCommand& c) const { return "firmware " + c.path; }
        std::string operator()(const FrequencyCommand& c) const {
            return "frequency " + std::to_string(c.hertz) + " Hz";
        }
        std::string operator()(const OpenCommand& c) const { return "open " + inQuotes(c.window); }
        std::string operator()(const SettingsCommand& c) const {
            std::string text = "settings of " + inQuotes(c.window) + ":";
            if (c.port) text += std::string(" port=") + *c.port;
            if (c.outputPort) text += std::string(" output=") + *c.outputPort;
            if (c.inputPort) text += std::string(" input=") + *c.inputPort;
            if (c.pin) text += " pin=" + std::to_string(*c.pin);
            if (c.mode) text += *c.mode == PinMode::Pin ? " mode=pin" : " mode=ddrport";
            if (c.activeLow) text += *c.activeLow ? " activelow=1" : " activelow=0";
            const LcdSettings& l = c.lcd;
            auto pin = [](const char* key, const PortPin& p) {
                return std::string(" ") + key + "=" + p.port + std::to_string(p.bit);
            };
            if (l.data) text += std::string(" data=") + *l.data;
            if (l.highNibble) text += *l.highNibble ? " nibble=high" : " nibble=low";
            if (l.fourBits) text += *l.fourBits ? " bits=4" : " bits=8";
            if (l.pinRegister) text += *l.pinRegister ? " pinreg=1" : " pinreg=0";
            if (l.enable) text += pin("e", *l.enable);
            if (l.rs) text += pin("rs", *l.rs);
            if (l.rw) text += pin("rw", *l.rw);
            if (l.rwNone) text += " rw=none";
            for (int d = 0; d < 8; ++d)
                if (const auto& p = l.dataPins[static_cast<std::size_t>(d)])
                    text += pin(("d" + std::to_string(d)).c_str(), *p);
            if (l.size) text += " size=" + std::to_string(*l.size);
            if (l.lines) text += " lines=" + std::to_string(*l.lines);
            if (l.zoom) text += " zoom=" + std::to_string(*l.zoom);
            if (l.trace) text += *l.trace ? " trace=1" : " trace=0";
            if (c.channel) text += " channel=" + std::to_string(*c.channel);
            if (c.reference)
                text += *c.reference == Reference::Aref   ? " reference=aref"
                        : *c.reference == Reference::Avcc ? " reference=avcc"
                                                          : " reference=internal";
            if (c.capacitance) text += " capacitance=" + std::to_string(*c.capacitance) + " nF";
            auto out = [&text](const char* key, const std::optional<PortPin>& p) {
                if (p) text += std::string(" ") + key + "=" + p->port + std::to_string(p->bit);
            };
            out("heater", c.heater);
            out("cooler", c.cooler);
            out("status", c.status);
            return text;
        }
        std::string operator()(const ElectricalCommand& c) const {
            std::string text = "electrical settings:";
            auto volts = [&text](const char* key, const std::optional<double>& v) {
                char value[48];
                if (v) {
                    std::snprintf(value, sizeof value, " %s=%.2f V", key, *v);
                    text += value;
                }
            };
            volts("vcc", c.vcc);
            volts("avcc", c.avcc);
            volts("vref", c.vref);
            volts("aref", c.aref);
            if (c.externalAref) text += *c.externalAref ? " extaref=1" : " extaref=0";
            return text;
        }
        std::string operator()(const SetSliderCommand& c) const {
            char value[48];
            std::snprintf(value, sizeof value, c.millivolts ? "%g mV" : "%g %%", c.value);
            return "set " + inQuotes(c.window) + " to " + value;
        }
        std::string operator()(const SetTemperatureCommand& c) const {
            return "set " + inQuotes(c.window) + " to " + std::to_string(c.celsius) + " degrees";
        }
        std::string operator()(const ExpectChannelCommand& c) const {
            char value[48];
            std::snprintf(value, sizeof value, c.millivolts ? "%g mV" : "%g", c.value);
            return "expect channel " +
                   (c.window.empty() ? "ADC" + std::to_string(c.channel) : inQuotes(c.window)) +
                   " is " + value;
        }
        std::string operator()(const ExpectTextCommand& c) const {
            return "expect " + inQuotes(c.window) + " control " + std::to_string(c.control) +
                   " shows " + inQuotes(c.text);
        }
        std::string operator()(const ClickCommand& c) const {
            return "click the switch of " + inQuotes(c.window);
        }
        std::string operator()(const KeyCommand& c) const {
            return std::string(c.press ? "press" : "release") + " key " + c.key + " on " +
                   inQuotes(c.window);
        }
        std::string operator()(const WaitCyclesCommand& c) const {
            return "wait " + std::to_string(c.cycles) + " cycles";
        }
        std::string operator()(const WaitTimeCommand& c) const {
            char text[64];
            std::snprintf(text, sizeof text, "wait %g ms", c.milliseconds);
            return text;
        }
        std::string operator()(const WaitUntilCommand& c) const {
            return "wait until " + conditionText(c.condition) + " (at most " +
                   std::to_string(c.timeoutCycles) + " cycles)";
        }
        std::string operator()(const ResetCommand&) const { return "reset"; }
        std::string operator()(const ExpectCommand& c) const {
            return "expect " + conditionText(c.condition);
        }
        std::string operator()(const ExpectMemoryCommand& c) const {
            char text[64];
            if (c.mask == 0xff) {
                std::snprintf(text, sizeof text, "expect memory 0x%04X is 0x%02X", c.address,
                              c.value);
            } else {
                std::snprintf(text, sizeof text, "expect memory 0x%04X is 0x%02X in mask 0x%02X",
                              c.address, c.value, c.mask);
            }
            return text;
        }
        std::string operator()(const ExpectLedCommand& c) const {
            return "expect LED " + inQuotes(c.window) + (c.on ? " on" : " off");
        }
        std::string operator()(const ExpectBarCommand& c) const {
            return "expect bar " + inQuotes(c.window) + " shows " + hexByte(c.segments);
        }
        std::string operator()(const ExpectOutputCommand& c) const {
            return "expect output " + inQuotes(c.text);
        }
        std::string operator()(const ScreenshotCommand& c) const {
            return "screenshot into " + c.directory;
        }
        std::string operator()(const AutostepCommand& c) const {
            return std::string("autostep ") + (c.on ? "on" : "off");
        }
        std::string operator()(const IdleCommand& c) const {
            char text[64];
            std::snprintf(text, sizeof text, "idle %g ms", c.milliseconds);
            return text;
        }
        std::string operator()(const EventCommand& c) const {
            return "debugger event " + std::to_string(c.number);
        }
        std::string operator()(const LoggerCommand& c) const {
            std::string text = "logger:";
            if (c.registers) {
                std::string list;
                for (const std::string& r : *c.registers) list += (list.empty() ? "" : ",") + r;
                text += " registers=" + list;
            }
            if (c.file) text += " file=" + inQuotes(*c.file);
            if (c.directory) text += " dir=" + inQuotes(*c.directory);
            if (c.enabled) text += *c.enabled ? " on" : " off";
            if (c.toFile) text += *c.toFile ? " destination=file" : " destination=window";
            if (c.limitMegabytes) text += " limit=" + std::to_string(*c.limitMegabytes) + " MB";
            return text;
        }
        std::string operator()(const GeneralCommand& c) const {
            return std::string("general settings: warnings=") +
                   (c.warnings && !*c.warnings ? "off (warning dialogs disabled)" : "on");
        }
        std::string operator()(const ExpectAutostepCommand& c) const {
            return std::string("expect autostep ") + (c.on ? "on" : "off");
        }
        std::string operator()(const ExpectFileCommand& c) const {
            return "expect file " + c.path + " contains " + inQuotes(c.text);
        }
        std::string operator()(const BreakCommand& c) const { return describeDebug(c); }
        std::string operator()(const ClearBreaksCommand& c) const { return describeDebug(c); }
        std::string operator()(const RunUntilBreakCommand& c) const { return describeDebug(c); }
        std::string operator()(const ExpectSourceCommand& c) const { return describeDebug(c); }
        std::string operator()(const ExpectVariableCommand& c) const { return describeDebug(c); }
        std::string operator()(const SetVariableCommand& c) const { return describeDebug(c); }
        std::string operator()(const WaitForDebuggerCommand& c) const { return describeDebug(c); }
        std::string operator()(const WaitExitCommand& c) const { return describeExit(c); }
        std::string operator()(const ExpectExitCommand& c) const { return describeExit(c); }
        static std::string usart(int number) {
            return number < 0 ? std::string() : " USART" + std::to_string(number);
        }
        std::string operator()(const SendSerialCommand& c) const {
            return "send serial" + usart(c.usart) + " " + inQuotes(c.written);
        }
        std::string operator()(const OpenTerminalCommand& c) const {
            return "open terminal" + usart(c.usart);
        }
        std::string operator()(const ExpectSerialCommand& c) const {
            return "expect serial" + usart(c.usart) + " " + inQuotes(c.written);
        }
        std::string operator()(const WaitSerialCommand& c) const {
            return "wait until serial" + usart(c.serial.usart) + " " + inQuotes(c.serial.written) +
                   " (at most " + std::to_string(c.timeoutCycles) + " cycles)";
        }
        std::string operator()(const RecordWaveformCommand& c) const {
            return "record waveform " + c.path + " signals " + c.signalList;
        }
        std::string operator()(const StopWaveformCommand&) const { return "stop waveform"; }
        std::string operator()(const ExpectFrequencyCommand& c) const {
            char text[96];
            std::snprintf(text, sizeof text, " %g Hz (tolerance %g%%)", c.hertz, c.tolerancePercent);
            return "expect frequency " + c.signal + text;
        }
        std::string operator()(const ExpectDutyCommand& c) const {
            char text[96];
            std::snprintf(text, sizeof text, " %g%% (tolerance %g%%)", c.percent, c.tolerancePercent);
            return "expect duty " + c.signal + text;
        }
    };
    return std::visit(Describe{}, command);
}

}  // namespace quill::scenario
