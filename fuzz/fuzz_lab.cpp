// Lab files: any text read as a lab; a lab that is read writes out as a
// text that reads back to the same lab, which writes out the same again.
//
// And the layout a lab keeps: the input also edits the dock state a main
// window saved (docks side by side, under one another, tabbed, floating
// and hidden, and a tool bar), four bytes per edit: what (replace, insert,
// erase), where (two bytes) and the byte. The lab holding the edited state
// is read, and a layout the reader keeps is given to that main window, as
// the host does: restoring it must not crash. A layout left out is said.
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QToolBar>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/lab/LabFile.h"
#include "host/layout/DockState.h"

namespace {

namespace lab = quill::lab;

struct Workbench {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QMainWindow> window;
    QByteArray saved;
};

// Never destroyed: at exit the window would be taken down after the
// platform it was shown on.
Workbench& workbench() {
    static Workbench* w = new Workbench;
    return *w;
}

QDockWidget* addDock(QMainWindow& window, const QString& name, Qt::DockWidgetArea area) {
    auto* dock = new QDockWidget(name, &window);
    dock->setObjectName(name);
    dock->setWidget(new QLabel(name));
    window.addDockWidget(area, dock);
    return dock;
}

void textRoundTrip(const std::string& text) {
    std::string error;
    const std::optional<lab::Lab> read = lab::parseLab(text, &error);
    if (!read) {
        if (error.empty()) __builtin_trap();  // a refusal says why
        return;
    }
    const std::string written = lab::formatLab(*read);
    const std::optional<lab::Lab> again = lab::parseLab(written, &error);
    if (!again) __builtin_trap();  // what was written must read back
    if (lab::formatLab(*again) != written) __builtin_trap();
}

void editedLayout(const uint8_t* data, size_t size) {
    Workbench& w = workbench();
    std::string state = w.saved.toStdString();
    for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
        const size_t at = (size_t(data[i + 1]) << 8 | data[i + 2]) % (state.size() + 1);
        const char byte = static_cast<char>(data[i + 3]);
        switch (data[i] % 3) {
            case 0:
                if (at < state.size()) state[at] = byte;
                break;
            case 1:
                state.insert(state.begin() + static_cast<std::ptrdiff_t>(at), byte);
                break;
            default:
                if (at < state.size()) state.erase(at, 1);
        }
    }
    lab::Lab edited;
    edited.firmware = "program.elf";
    edited.windows = {{"LD", "LED"}, {"LD", "LED 2"}};
    edited.layout = QByteArray::fromStdString(state).toBase64().toStdString();
    std::string error;
    const std::optional<lab::Lab> read = lab::parseLab(lab::formatLab(edited), &error);
    if (!read) __builtin_trap();  // a damaged layout leaves the lab readable
    if (read->layout.empty()) {
        if (read->notes.empty()) __builtin_trap();  // left out, and said
        return;
    }
    const std::optional<std::string> bytes = quill::layout::decodeBase64(read->layout);
    if (!bytes || *bytes != state) __builtin_trap();
    w.window->restoreState(QByteArray::fromStdString(*bytes));
    w.window->restoreState(w.saved);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Workbench& w = workbench();
    w.app = std::make_unique<QApplication>(*argc, *argv);
    w.window = std::make_unique<QMainWindow>();
    QMainWindow& window = *w.window;
    window.setDockNestingEnabled(true);
    window.setCentralWidget(new QLabel("centre"));
    QToolBar* bar = window.addToolBar("Plugin");
    bar->setObjectName("toolbar_Plugin");
    bar->addAction("Run");
    QDockWidget* first = addDock(window, "componentDock1", Qt::TopDockWidgetArea);
    QDockWidget* second = addDock(window, "componentDock2", Qt::TopDockWidgetArea);
    window.splitDockWidget(first, second, Qt::Vertical);
    QDockWidget* third = addDock(window, "componentDock3", Qt::TopDockWidgetArea);
    window.tabifyDockWidget(second, third);
    addDock(window, "componentDock4", Qt::TopDockWidgetArea)->setFloating(true);
    addDock(window, "outputDock", Qt::BottomDockWidgetArea);
    addDock(window, "sourceDock", Qt::BottomDockWidgetArea)->hide();
    window.resize(900, 600);
    window.show();
    QApplication::processEvents();
    w.saved = window.saveState();
    // The reader must take what the window writes.
    if (const std::string fault = quill::layout::dockStateFault(w.saved.toStdString());
        !fault.empty()) {
        std::fprintf(stderr, "the saved state is refused: %s\n", fault.c_str());
        __builtin_trap();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    textRoundTrip(std::string(reinterpret_cast<const char*>(data), size));
    editedLayout(data, size);
    return 0;
}
