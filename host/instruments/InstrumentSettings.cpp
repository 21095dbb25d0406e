#include "host/instruments/InstrumentSettings.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

#include "host/instruments/AnalyserDock.h"
#include "host/instruments/InstrumentHub.h"
#include "host/instruments/Signals.h"
#include "host/instruments/TerminalDock.h"

namespace quill::instruments {

namespace {

constexpr const char* kTerminalPrefix = "terminal USART";

// The line endings by name, as the terminal's list offers them.
struct Ending {
    const char* name;
    const char* bytes;
};
constexpr Ending kEndings[] = {{"none", ""}, {"lf", "\n"}, {"cr", "\r"}, {"crlf", "\r\n"}};

struct TerminalControls {
    QComboBox* rate;
    QComboBox* mode;
    QComboBox* ending;
};

TerminalControls controlsOf(const TerminalDock* dock) {
    return {dock->findChild<QComboBox*>("terminalRate"), dock->findChild<QComboBox*>("terminalMode"),
            dock->findChild<QComboBox*>("terminalEnding")};
}

std::string terminalText(const TerminalDock* dock) {
    const TerminalControls c = controlsOf(dock);
    if (!c.rate || !c.mode || !c.ending) return {};
    const int rate = c.rate->currentData().toInt();
    std::string text = "rate=" + (rate ? std::to_string(rate) : std::string("program"));
    text += c.mode->currentIndex() == 1 ? " mode=hex" : " mode=text";
    for (const Ending& e : kEndings)
        if (c.ending->currentData().toString() == QString::fromLatin1(e.bytes))
            text += std::string(" ending=") + e.name;
    return text;
}

QStringList offered(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

bool applyTerminal(TerminalDock* dock, const QStringList& pairs, QString* why) {
    const TerminalControls c = controlsOf(dock);
    if (!c.rate || !c.mode || !c.ending) {
        *why = "the terminal has no settings";
        return false;
    }
    int rate = c.rate->currentIndex(), mode = c.mode->currentIndex(), ending = c.ending->currentIndex();
    for (const QString& pair : pairs) {
        const QString key = pair.section('=', 0, 0), value = pair.section('=', 1);
        if (key == "rate") {
            rate = c.rate->findData(value == "program" ? 0 : value.toInt());
            if (rate < 0 || (value != "program" && value.toInt() == 0)) {
                *why = QString("rate %1 is not offered (%2)").arg(value, offered(c.rate).join(", "));
                return false;
            }
        } else if (key == "mode" && (value == "text" || value == "hex")) {
            mode = value == "hex" ? 1 : 0;
        } else if (key == "ending") {
            ending = -1;
            for (const Ending& e : kEndings)
                if (value == e.name) ending = c.ending->findData(QString::fromLatin1(e.bytes));
            if (ending < 0) {
                *why = QString("ending %1 is not offered (none, lf, cr, crlf)").arg(value);
                return false;
            }
        } else {
            *why = QString("%1 is not a terminal setting (rate, mode=text|hex, ending)").arg(pair);
            return false;
        }
    }
    c.rate->setCurrentIndex(rate);
    c.mode->setCurrentIndex(mode);
    c.ending->setCurrentIndex(ending);
    return true;
}

bool applyAnalyser(AnalyserDock* dock, const QStringList& pairs, QString* why) {
    auto* channels = dock->findChild<QLineEdit*>("analyserChannels");
    QString list = channels ? channels->text() : QString();
    for (const QString& pair : pairs) {
        if (!pair.startsWith("channels=")) {
            *why = QString("%1 is not an analyser setting (channels)").arg(pair);
            return false;
        }
        list = pair.mid(9);
        std::string reason;
        if (!parseSignalList(list.toStdString(), SignalRecorder::kMaxChannels, &reason,
                             dock->board())) {
            *why = QString::fromStdString(reason);
            return false;
        }
    }
    if (channels) channels->setText(list);
    return true;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> instrumentSettings(const InstrumentHub& hub) {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const auto& link : hub.usarts()) {
        const TerminalDock* dock = hub.terminal(link->number());
        const std::string text = dock ? terminalText(dock) : std::string();
        if (!text.empty())
            settings.emplace_back(kTerminalPrefix + std::to_string(link->number()), text);
    }
    if (const AnalyserDock* analyser = hub.analyser()) {
        if (auto* channels = analyser->findChild<QLineEdit*>("analyserChannels"))
            settings.emplace_back("analyser", "channels=" + channels->text().remove(' ').toStdString());
    }
    return settings;
}

std::optional<bool> applyInstrumentSettings(InstrumentHub& hub, const std::string& target,
                                            const std::string& text, QString* why) {
    const QStringList pairs = QString::fromStdString(text).split(' ', Qt::SkipEmptyParts);
    if (target == "analyser") {
        if (!hub.analyser()) {
            *why = "there is no analyser";
            return false;
        }
        return applyAnalyser(hub.analyser(), pairs, why);
    }
    const std::string prefix = kTerminalPrefix;
    if (target.rfind(prefix, 0) != 0) return std::nullopt;
    bool number = false;
    const int usart = QString::fromStdString(target.substr(prefix.size())).toInt(&number);
    TerminalDock* dock = number ? hub.terminal(usart) : nullptr;
    if (!dock) {
        *why = QString("this part has no USART%1").arg(QString::fromStdString(target.substr(prefix.size())));
        return false;
    }
    return applyTerminal(dock, pairs, why);
}

}  // namespace quill::instruments
