// A headless run has nobody to answer a dialog, and nothing modal may keep
// it waiting. While an object of this class lives, every window that opens
// modally is dealt with as soon as it shows:
// - a message box (a component's warning, for example a Slider that got no
//   converter channel) is answered as its default button would be, after
//   its text went to `report`; the run goes on;
// - a dialog the scenario's driver opens to fill in (a settings dialog or
//   sheet, announced with Expected) is left to the driver;
// - any other (the About box, a file chooser) is closed unanswered and
//   reported; it is an intrusion, and the headless run fails with it.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QMessageBox;
class QWidget;

class UnattendedDialogs : public QObject {
public:
    using Report = std::function<void(const QString& line)>;
    explicit UnattendedDialogs(Report report, QObject* parent = nullptr);
    ~UnattendedDialogs() override;

    // Answers `box` now: reports "Message box \"title\": text (answered
    // Button)" and clicks its default button (else its escape button, else
    // its first one).
    void answer(QMessageBox* box);

    int answered() const { return answered_; }
    // The modal windows closed unanswered, each "\"title\" (class)", in the
    // order they opened.
    const QStringList& intruders() const { return intruders_; }

    // While one lives, a modal dialog that opens is the driver's to answer
    // (message boxes are still answered here).
    class Expected {
    public:
        Expected();
        ~Expected();
        Expected(const Expected&) = delete;
        Expected& operator=(const Expected&) = delete;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void shown(QWidget* window);

    Report report_;
    int answered_ = 0;
    QStringList intruders_;
};
