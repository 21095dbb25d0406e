// Pin lists that show the board's names: the eight radio buttons of a port
// ("Pin 0" .. "Pin 7") read "PB5 (D13)", "PB6" once the host runs the part
// as a board (CLEDView::PinLabel), for the port the combo box beside them
// shows; without a board they keep "Pin 5". The labels follow the combo
// box; a dialog that fills it with its signals blocked calls relabel().
#pragma once

#include <QObject>
#include <array>

class CLEDView;
class QAbstractButton;
class QButtonGroup;
class QComboBox;

class PortPinLabels : public QObject {
    Q_OBJECT
public:
    // The core is the one of the component window that owns `port` (found
    // through its parents when relabelling).
    PortPinLabels(QComboBox* port, const std::array<QAbstractButton*, 8>& pins);
    void relabel();

private:
    QComboBox* port_;
    std::array<QAbstractButton*, 8> pins_;
};

// Labels pins 0..7 of `pins` (buttons by id) after `port`'s choice.
void LabelPinsBy(QComboBox* port, QButtonGroup* pins);
// Relabels the pins that follow `port`, if any (after it was filled with
// its signals blocked).
void RelabelPins(QComboBox* port);

// The core of the component window that `object` belongs to (the closest
// PluginForm among its parents); null when there is none.
const CLEDView* CoreOf(const QObject* object);
