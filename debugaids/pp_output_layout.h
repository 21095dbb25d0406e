// Page "Output layout" of the logger sheet: one control per layout option
// of the register dump (controls 330 to 337).
#pragma once

#include <QWidget>

#include "debugaids/RegisterLogger.h"

class QCheckBox;
class QLineEdit;

class pp_output_layout : public QWidget {
    Q_OBJECT
public:
    explicit pp_output_layout(QWidget* parent = nullptr);

    void load(const LoggerLayout& layout);
    LoggerLayout store() const;

private:
    QCheckBox* comment_;
    QLineEdit* commentText_;
    QCheckBox* cycleCounter_;
    QCheckBox* runningTime_;
    QCheckBox* disassembly_;
    QCheckBox* hex_;
    QCheckBox* octal_;
    QCheckBox* binary_;
};
