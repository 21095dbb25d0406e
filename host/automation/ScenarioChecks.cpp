// The checks of a scenario: registers and pins read from the target, and
// what the component windows and the output pane show.
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <cmath>

#include "contract/HostProtocol.h"
#include "contract/ResourceIds.h"
#include "host/workbench/HostBench.h"
#include "host/workbench/HostPictures.h"
#include "host/session/HostSetup.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/automation/StepResults.h"
#include "platform/files.h"

namespace {

using namespace steps;

QString bits(int value) { return QString("%1").arg(value & 0xFF, 8, 2, QChar('0')); }

}  // namespace

Result ScenarioExecutor::expectChannel(const QString& name, int channel, double value,
                                       bool millivolts) {
    QWidget* form = nullptr;
    QString who = name;
    if (!name.isEmpty()) {
        Result result;
        form = formOrError(name, &result);
        if (!form) return result;
    } else {
        who = QString("ADC%1").arg(channel);
        for (const QString& window : driver::componentNames(bench_)) {
            QWidget* candidate = driver::findForm(bench_, window);
            QVariant driven = candidate ? candidate->property("channel") : QVariant();
            if (driven.isValid() && driven.toInt() == channel) form = candidate;
        }
        if (!form) return failed(QString("no window drives channel %1").arg(channel));
    }
    const QVariant number = form->property("channel");
    const QVariant shown = form->property(millivolts ? "channelMillivolts" : "channelValue");
    if (!number.isValid() || !shown.isValid())
        return error(QString("\"%1\" drives no converter channel").arg(who));
    if (number.toInt() < 0) return failed(QString("\"%1\" drives no channel").arg(who));
    const double actual = shown.toDouble();
    const QString unit = millivolts ? " mV" : "";
    const QString what =
        QString("channel %1 of %2 is %3%4").arg(number.toInt()).arg(who).arg(actual).arg(unit);
    if (std::abs(actual - value) < 0.5) return ok(what);
    return failed(QString("%1, expected %2%3").arg(what).arg(value).arg(unit));
}

int ScenarioExecutor::registerIndex(const QString& name) const {
    if (!registers_) return -1;
    return registers_->index(name.toStdString());
}

std::optional<uint8_t> ScenarioExecutor::readIo(int index) const {
    return ReadBankRegister(bench_.debugger().target(), index);
}

Result ScenarioExecutor::expectRegister(const QString& reg, std::optional<int> bit, int value) {
    bool numeric = false;
    int index = reg.toInt(&numeric, 0);
    if (!numeric) index = registerIndex(reg);
    // A number is an I/O address; a name may be any register of the part.
    if (index < 0 || index >= (numeric ? kIoRegisterCount : kMaxRegisterBank)) {
        return error(registers_ ? QString("unknown register \"%1\"").arg(reg) : registerError_);
    }
    std::optional<uint8_t> actual = readIo(index);
    if (!actual) return error(QString("cannot read %1 from the target").arg(reg));
    if (bit) {
        int level = (*actual >> *bit) & 1;
        QString what = QString("%1 bit %2").arg(reg).arg(*bit);
        if (level != value)
            return failed(QString("%1 is %2, expected %3").arg(what).arg(level).arg(value));
        return ok(QString("%1 is %2").arg(what).arg(level));
    }
    if (*actual != value) {
        return failed(QString("%1 is 0x%2 (%3), expected 0x%4 (%5)")
                          .arg(reg)
                          .arg(*actual, 2, 16, QChar('0'))
                          .arg(bits(*actual))
                          .arg(value & 0xFF, 2, 16, QChar('0'))
                          .arg(bits(value)));
    }
    return ok(QString("%1 is 0x%2").arg(reg).arg(*actual, 2, 16, QChar('0')));
}

Result ScenarioExecutor::expectPin(const QString& pin, int level) {
    char port = 0;
    int bit = 0;
    if (!ParsePinName(pin.toStdString(), &port, &bit)) {
        return error(QString("\"%1\" is not a pin name like PB7").arg(pin));
    }
    const QString reg = QString("PIN%1").arg(QChar(port));
    if (registerIndex(reg) < 0) return error(QString("the part has no port %1").arg(QChar(port)));
    Result r = expectRegister(reg, bit, level);
    r.message.replace(QString("%1 bit %2").arg(reg).arg(bit), pin);
    return r;
}

Result ScenarioExecutor::expectBitmap(const QString& name, int control,
                                      const std::vector<int>& bitmapIds, const QString& what) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QWidget* picture = driver::findControl(form, control);
    if (!picture) return error(QString("\"%1\" has no control %2").arg(name).arg(control));
    int shown = driver::bitmapIdOf(picture);
    for (int id : bitmapIds) {
        if (id == shown) return ok(QString("%1 shows %2").arg(name, what));
    }
    return failed(QString("%1 does not show %2 (control %3 shows bitmap %4)")
                      .arg(name, what)
                      .arg(control)
                      .arg(shown));
}

Result ScenarioExecutor::expectLed(const QString& name, int lit) {
    return expectBitmap(name, ids::led::kPicture, {lit ? bitmap::kLedLit : bitmap::kLedDark},
                        lit ? "lit" : "dark");
}

Result ScenarioExecutor::expectOutput(const QString& text) {
    const QStringList lines = bench_.outputLines();
    // The mark counts every line ever written; the pane drops its oldest
    // lines when it grows very long, so the list starts that many lines in.
    const long long dropped = bench_.outputLinesDropped();
    const long long from = std::max(outputMark_ - dropped, 0LL);
    for (long long i = from; i < lines.size(); ++i) {
        if (lines[i].contains(text)) {
            outputMark_ = dropped + i + 1;
            return ok(QString("output line %1: %2").arg(outputMark_).arg(lines[i]));
        }
    }
    return failed(QString("no output line after line %1 contains \"%2\"")
                      .arg(std::max(outputMark_, dropped))
                      .arg(text));
}

Result ScenarioExecutor::expectBar(const QString& name, int pattern) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    int shown = 0;
    for (int i = 0; i < 8; ++i) {
        QWidget* segment = driver::findControl(form, ids::knightrider::kFirstSegment + i);
        if (!segment)
            return error(QString("\"%1\" has no bar segment %2")
                             .arg(name)
                             .arg(ids::knightrider::kFirstSegment + i));
        int id = driver::bitmapIdOf(segment);
        if (id != bitmap::kSegmentLit && id != bitmap::kSegmentDark) {
            return error(QString("segment %1 of \"%2\" shows bitmap %3")
                             .arg(ids::knightrider::kFirstSegment + i)
                             .arg(name)
                             .arg(id));
        }
        if (id == bitmap::kSegmentLit) shown |= 0x80 >> i;
    }
    if (shown != (pattern & 0xFF)) {
        return failed(QString("%1 shows %2, expected %3").arg(name, bits(shown), bits(pattern)));
    }
    return ok(QString("%1 shows %2").arg(name, bits(shown)));
}

QWidget* ScenarioExecutor::lcdPanel(const QString& name) {
    settle();
    QWidget* form = driver::findForm(bench_, name);
    return form ? driver::findControl(form, ids::lcd::kDisplay) : nullptr;
}

Result ScenarioExecutor::expectLcd(const LcdCheck& check) {
    Result result;
    QWidget* form = formOrError(check.window, &result);
    if (!form) return result;
    QWidget* panel = driver::findControl(form, ids::lcd::kDisplay);
    const QVariant lines = panel ? panel->property("visibleLines") : QVariant();
    const QVariant cursor = panel ? panel->property("cursorCell") : QVariant();
    if (!lines.isValid() || !cursor.isValid())
        return error(QString("\"%1\" is not a Hitachi LCD").arg(check.window));
    if (!check.picture.isEmpty())
        return expectLcdPicture(check.window, panel->property("panelImage").value<QImage>(),
                                check.picture);
    if (check.protocol) {
        const QString report = panel->property("protocolReport").toString();
        if (report.isEmpty() == check.warned) {
            return failed(report.isEmpty()
                              ? QString("%1: no protocol warning, expected one").arg(check.window)
                              : QString("%1 warned: %2").arg(check.window, report));
        }
        return ok(report.isEmpty() ? QString("%1: no protocol warning").arg(check.window)
                                   : QString("%1 warned: %2").arg(check.window, report));
    }
    if (check.cursor) {
        const QPoint at = cursor.toPoint();
        const QString shown =
            at.x() < 0
                ? QString("no cursor")
                : QString("the cursor at line %1, column %2").arg(at.x() + 1).arg(at.y() + 1);
        const bool match =
            check.line < 0 ? at.x() < 0 : at.x() == check.line - 1 && at.y() == check.column - 1;
        if (!match) {
            const QString wanted =
                check.line < 0 ? QString("no cursor")
                               : QString("line %1, column %2").arg(check.line).arg(check.column);
            return failed(QString("%1 shows %2, expected %3").arg(check.window, shown, wanted));
        }
        return ok(QString("%1 shows %2").arg(check.window, shown));
    }
    const QStringList text = lines.toStringList();
    if (check.line < 1 || check.line > text.size()) {
        return failed(QString("%1 has %2 lines, no line %3")
                          .arg(check.window)
                          .arg(text.size())
                          .arg(check.line));
    }
    const QString shown = text[check.line - 1];
    // Character codes below 0x20 (the CGRAM patterns among them) as \xNN.
    auto readable = [](const QString& line) {
        QString out;
        for (const QChar c : line) {
            if (c.unicode() < 0x20) {
                out += QString::asprintf("\\x%02X", c.unicode());
            } else {
                out += c;
            }
        }
        return out;
    };
    if (shown != check.text) {
        return failed(QString("line %1 of %2 shows \"%3\", expected \"%4\"")
                          .arg(check.line)
                          .arg(check.window, readable(shown), readable(check.text)));
    }
    return ok(
        QString("line %1 of %2 shows \"%3\"").arg(check.line).arg(check.window, readable(shown)));
}

namespace {
// An expected panel picture is a few kilobytes; more is no such picture.
constexpr std::size_t kMaxPictureBytes = 4 << 20;
}  // namespace

Result ScenarioExecutor::expectLcdPicture(const QString& window, const QImage& shown,
                                          const QString& path) {
    std::string bytes, why;
    if (!quill::files::readRegularFile(path.toStdString(), kMaxPictureBytes, "expected picture",
                                       &bytes, &why))
        return error(QString::fromStdString(why));
    const QImage expected = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                             static_cast<int>(bytes.size()), "PNG")
                                .convertToFormat(QImage::Format_RGB32);
    if (expected.isNull()) return error(QString("%1 is not a PNG picture").arg(path));
    const QImage actual = shown.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    QPoint first(-1, -1);
    if (actual.size() == expected.size()) {
        for (int y = 0; y < actual.height(); ++y) {
            for (int x = 0; x < actual.width(); ++x) {
                if (actual.pixel(x, y) == expected.pixel(x, y)) continue;
                if (differing++ == 0) first = QPoint(x, y);
            }
        }
        if (differing == 0) return ok(QString("the panel of %1 looks as %2").arg(window, path));
    }
    // What the panel showed goes beside the working folder's other output,
    // for a look or as the new expected picture.
    // A file in its place that is no picture of ours is left as it is, and
    // the check is an error rather than a failure: what it saw is lost.
    const QString saved = QFileInfo(path).completeBaseName() + ".actual.png";
    if (!quill::files::replaceFile(saved.toStdString(), HostPng(actual).toStdString(), kHostPicture,
                                   &why)) {
        return error(QString("the panel of %1 differs from %2, and what it shows was not saved: %3")
                         .arg(window, path, QString::fromStdString(why)));
    }
    if (actual.size() != expected.size()) {
        return failed(QString("the panel of %1 is %2x%3 pixels, %4 is %5x%6 (shown: %7)")
                          .arg(window)
                          .arg(actual.width())
                          .arg(actual.height())
                          .arg(path)
                          .arg(expected.width())
                          .arg(expected.height())
                          .arg(saved));
    }
    return failed(
        QString("the panel of %1 differs from %2 in %3 pixels, first at %4,%5 (shown: %6)")
            .arg(window, path)
            .arg(differing)
            .arg(first.x())
            .arg(first.y())
            .arg(saved));
}

Result ScenarioExecutor::expectText(const QString& name, int control, const QString& text) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QWidget* widget = control ? driver::findControl(form, control) : form;
    if (!widget) return error(QString("\"%1\" has no control %2").arg(name).arg(control));
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        shown = label->text();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        shown = edit->text();
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        shown = plain->toPlainText();
    } else {
        QVariant property = widget->property("displayText");
        shown = property.isValid() ? property.toString() : QString();
        if (shown.isEmpty()) {
            QStringList parts;
            for (QLabel* l : widget->findChildren<QLabel*>()) parts << l->text();
            shown = parts.join('\n');
        }
    }
    if (!shown.contains(text)) {
        return failed(
            QString("%1 shows \"%2\", expected it to contain \"%3\"").arg(name, shown, text));
    }
    return ok(QString("%1 shows \"%2\"").arg(name, text));
}
