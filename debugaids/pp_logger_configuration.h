// Page "Configuration" of the logger sheet: the part's registers in
// "Available memory." (321) and the ones to log in "Log to file." (322),
// moved between the lists with "Log ->" (323), "<- Don't log" (325) and
// "Clear" (324, all back). Two check boxes (318, 320) are exchanged with the
// page and have no further effect.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QListWidget;

class pp_logger_configuration : public QWidget {
    Q_OBJECT
public:
    explicit pp_logger_configuration(QWidget* parent = nullptr);

    // Fills the lists: every non-empty name of `available`; the names of
    // `chosen` start in "Log to file." instead.
    void setRegisters(const std::vector<std::string>& available,
                      const std::vector<std::string>& chosen);
    // The names in "Log to file.", top to bottom.
    std::vector<std::string> chosenNames() const;

    bool logGeneralRegisters() const;
    bool logCpuRegisters() const;

private:
    void move(QListWidget* from, QListWidget* to, bool selectedOnly);

    QCheckBox* logGeneral_;
    QCheckBox* logCpu_;
    QListWidget* available_;
    QListWidget* chosen_;
};
