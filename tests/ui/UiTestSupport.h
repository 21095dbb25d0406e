// Support for window tests: a plug-in object on the in-memory host, debugging
// a simulated part, whose docked-window requests are answered with real
// widgets (a frame with a client area, like the IDE's docking frames), and
// helpers for real mouse clicks and for answering modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "components/ComponentWiring.h"
#include "core/CLEDView.h"
#include "framework/Controls.h"
#include "framework/ModalRunner.h"
#include "framework/PluginForm.h"
#include "host/memory/InMemoryHost.h"

class QuillUiTest : public ::testing::Test {
protected:
    // The part to simulate; change before SetUp runs (in the constructor).
    std::string partName = "ATmega16";
    // Whether the host gives docked windows.
    bool hostGivesWindows = true;

    void SetUp() override;
    void TearDown() override;
    // Runs once the host exists, before the plug-in's Init and session.
    virtual void prepareHost(memhost::InMemoryHost&) {}

    CLEDView* core() { return core_; }
    memhost::InMemoryHost& host() { return *host_; }

    // Host event 3: one refresh of the register image.
    void refresh() { core_->HandleEvent(kEventHalted, nullptr); }
    // The simulated part's I/O byte of a register name, before/after refresh.
    void setIo(const std::string& name, uint8_t value);
    uint8_t io(const std::string& name);
    // The simulator changes a register, then a refresh.
    void drive(const std::string& name, uint8_t value) {
        setIo(name, value);
        refresh();
    }
    int address(const std::string& name) { return core_->GetRegisterAddress(name); }
    // Number of I/O writes (of any length) the target has seen.
    int ioWrites() const;

    // Runs command `command` and returns its newest window.
    PluginForm* openCommand(int command);
    template <typename Form>
    Form* open(int command) {
        return qobject_cast<Form*>(openCommand(command));
    }
    // The host frame the form lives in (its grandparent), or null.
    QWidget* frameOf(PluginForm* form);

    // Real mouse input.
    static void leftClick(QWidget* widget);
    // Chooses a menu item of the form's right-click menu.
    static void triggerMenu(PluginForm* form, int id);

    // Answers every modal dialog until the end of the test with `answer`.
    void answerDialogs(ModalRunner answer);
    // Clicks control `id` of a dialog (radio, check box, OK = 1, Cancel = 2).
    static void clickControl(QWidget* dialog, int id);
    static void selectComboIndex(QWidget* dialog, int comboId, int index);
    // Opens the form's port settings and answers them: an entry for each
    // {combo, entry}, the pin, the register mode, active low when given,
    // then OK or Cancel.
    void configurePorts(PluginForm* form, const std::vector<std::pair<int, int>>& combos, int pin,
                        bool ddrMode, std::optional<bool> activeLow, bool ok = true);

    std::vector<QPointer<QWidget>> frames;

private:
    std::unique_ptr<memhost::InMemoryHost> host_;
    CLEDView* core_ = nullptr;
    std::unique_ptr<ScopedModalRunner> runner_;
};
