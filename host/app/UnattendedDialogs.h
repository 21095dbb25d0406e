// A headless run has nobody to answer a message box. While an object of
// this class lives, every message box that opens (a component's warning,
// for example a Slider that got no converter channel) is answered as its
// default button would be, after its text went to `report`; the run goes
// on instead of waiting for ever.
//
// Only message boxes are answered: the dialogs a scenario fills in (the
// settings dialogs and sheets) are answered by the scenario's own driver.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QMessageBox;

class UnattendedDialogs : public QObject {
public:
    using Report = std::function<void(const QString& line)>;
    explicit UnattendedDialogs(Report report, QObject* parent = nullptr);

    // Answers `box` now: reports "Message box \"title\": text (answered
    // Button)" and clicks its default button (else its escape button, else
    // its first one).
    void answer(QMessageBox* box);

    int answered() const { return answered_; }

private:
    void look();

    Report report_;
    QTimer poll_;
    int answered_ = 0;
};
