// The plug-in object's life: construction, COM identity, Init, the command
// dispatch, SaveFile and Close.
#include "core/CLEDView.h"

#include "platform/server.h"
#include "platform/window.h"

namespace {

// The host's main window, captured by Init. Module-wide because the
// autostep timer procedure receives no object pointer.
HWND g_hostMainWindow = nullptr;

const char* commandName(int command) {
    const CommandInfo* info = CommandInfoOf(command);
    return info ? info->title : "?";
}

}  // namespace

CLEDView::CLEDView() : DispatchObject(0) {
    // The values Init establishes, so that an object the host never
    // initialises is in the same, inert state.
    for (size_t i = 0; i < ioRegisters_.size(); ++i) {
        ioRegisters_[i].setNotifyEnabled(false);
        ioRegisters_[i].markInto(&registersSet_, static_cast<int>(i));
    }
    vcc_.set(5.0);
    avcc_.set(5.0);
    internalReference_.set(2.56);
    externalAref_.set(5.0);
    externalArefApplied_.set(0);
}

CLEDView::~CLEDView() {
    // No timer tick may reach a half-destroyed object.
    autostep_.Stop();
    // Windows and the converter model observe the core's subjects: they go
    // first, while the subjects still exist.
    windows_.clear();
    stackView_.reset();
    adc_.reset();
    registerObservers_.clear();
    resetObserver_.reset();
    ReleaseHost();
}

void CLEDView::ReleaseTarget() {
    // What the host recorded still reaches the log, while it can be taken.
    TakeRecordedChanges();
    quietSkipped_ = false;
    fallsNoted_ = false;
    boardPins_.clear();
    changes_.reset();
    changedValues_.reset();
    // The next target object is asked to record afresh.
    recorder_.reset();
    recordAsked_.clear();
    recorded_.clear();
    recordedIndex_.clear();
    watchedChanges_ = ~uint64_t{0};
    filterUse_.reset();
    bankFilter_.reset();
    bitFilter_.reset();
    fallFilter_.reset();
    direct_.reset();
    target_.reset();
}

void CLEDView::ReleaseHost() {
    ReleaseTarget();
    hostServices_.reset();
    guiWorks_.reset();
    attached_ = false;
}

// ---- IGuiPlugin

HRESULT CLEDView::GetSetup(BSTR* xmlstring) {
    if (!xmlstring) return E_POINTER;
    *xmlstring = AnsiToBstr(SetupDescription());
    return *xmlstring ? S_OK : E_OUTOFMEMORY;
}

HRESULT CLEDView::Init(IDispatch* iGuiWorks) {
    if (!iGuiWorks) return E_POINTER;

    // A second Init starts from a clean slate instead of leaking the
    // connections of the first.
    ReleaseHost();

    ComPtr<IHostServices> services;
    HRESULT hr = CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IHostServices, services.putVoid());
    if (FAILED(hr)) return hr;
    if (!services) return E_NOINTERFACE;

    {
        CComBSTR category(kOutputSource);
        hr = services->CreateCategory(category.get(), kCategoryKind);
    }
    if (FAILED(hr)) return hr;
    hostServices_ = std::move(services);

    ComPtr<IGuiWorks> works;
    hr = iGuiWorks->QueryInterface(IID_IGuiWorks, works.putVoid());
    if (FAILED(hr) || !works) return FAILED(hr) ? hr : E_NOINTERFACE;
    guiWorks_ = std::move(works);

    for (int command = 0; command <= kCmdAutostep; ++command) {
        SetCommandState(command, kCommandDisabled);
    }

    resetObserver_ = std::make_unique<CallOnChange<CLEDView, uint32_t>>(&cycleCounter_, this,
                                                                        &CLEDView::DetectReset);
    registerObservers_.clear();
    for (size_t i = 0; i < ioRegisters_.size(); ++i) {
        registerObservers_.push_back(std::make_unique<CallOnChange1<CLEDView, uint8_t>>(
            &ioRegisters_[i], this, &CLEDView::OnRegisterChanged, static_cast<int32_t>(i)));
        ioRegisters_[i].setNotifyEnabled(false);
    }

    vcc_.set(5.0);
    avcc_.set(5.0);
    internalReference_.set(2.56);
    externalAref_.set(5.0);
    externalArefApplied_.set(0);
    updateRequest_.set(0);
    adc_.reset();

    attached_ = false;
    simulator_ = false;
    registerListStale_ = true;
    logger_.Reset();
    general_ = GeneralSettings{};
    detectedClockMHz_ = 1.0;
    firstRefresh_ = true;
    refreshing_ = true;
    adifPending_ = false;
    stackViewCreated_ = false;
    // A timer started under an earlier Init runs on that Init's window.
    autostep_.Stop();

    g_hostMainWindow = GetThreadMainWindow();
    return hr;
}

HRESULT CLEDView::SaveFile(BSTR, VARIANT_BOOL* ok) {
    // Nothing outlives the plug-in object, so there is nothing to save.
    if (!ok) return E_POINTER;
    *ok = 1;
    return S_OK;
}

HRESULT CLEDView::Close() {
    // The stepping timer lives on the host's window and calls into this
    // module: it ends with the host's use of the object.
    autostep_.Stop();
    guiWorks_.reset();
    return S_OK;
}

HWND CLEDView::HostMainWindow() { return g_hostMainWindow; }

// ---- Commands

int CLEDView::DialogId(int command) {
    const CommandInfo* info = CommandInfoOf(command);
    return info ? info->dialogId : 0;
}

void CLEDView::SetComponentFactory(int command, ComponentFactory factory) {
    if (factory) {
        factories_[command] = std::move(factory);
    } else {
        factories_.erase(command);
    }
}

void CLEDView::SetModalCommand(int command, ModalCommand run) {
    if (run) {
        modalCommands_[command] = std::move(run);
    } else {
        modalCommands_.erase(command);
    }
}

const std::vector<std::unique_ptr<IComponentWindow>>& CLEDView::Windows(int command) const {
    static const std::vector<std::unique_ptr<IComponentWindow>> none;
    auto it = windows_.find(command);
    return it == windows_.end() ? none : it->second;
}

HRESULT CLEDView::ExecuteCommand(LONG command) {
    static const std::string label = "CLEDView::ExecuteCommand()";
    if (command < 0 || command >= kCommandCount) return S_OK;
    const int index = static_cast<int>(command);

    if (IsComponentCommand(index)) {
        if (index == kCmdStackView && stackViewCreated_) {
            if (stackView_) stackView_->Show();
            return S_OK;
        }
        auto factory = factories_.find(index);
        if (factory == factories_.end()) {
            Diagnose(label, std::string(commandName(index)) +
                                ": this window is not available in this build.");
            return S_OK;
        }
        std::unique_ptr<IComponentWindow> window = factory->second(this, index, DialogId(index));
        if (!window) {
            Diagnose(label, std::string(commandName(index)) + ": the window could not be created.");
            return S_OK;
        }
        if (index == kCmdStackView) {
            stackView_ = std::move(window);
            stackViewCreated_ = true;
            stackView_->Show();
            return S_OK;
        }
        auto& list = windows_[index];
        list.push_back(std::move(window));
        // Show the whole list, the new window last, so it ends up in front.
        // Index-based: Show() may run code that opens further windows.
        for (size_t i = 0; i < list.size(); ++i) list[i]->Show();
        return S_OK;
    }

    if (index == kCmdSettings || index == kCmdAbout) {
        auto run = modalCommands_.find(index);
        if (run == modalCommands_.end()) {
            Diagnose(label, std::string(commandName(index)) +
                                ": this dialog is not available in this build.");
            return S_OK;
        }
        // Copy: the dialog may replace the command while it runs.
        ModalCommand dialog = run->second;
        dialog(this);
        return S_OK;
    }

    // kCmdAutostep: starts or stops the stepping timer on the host's main
    // window (without one it stays off).
    autostep_.Toggle(g_hostMainWindow);
    return S_OK;
}

void CLEDView::SetCommandState(int command, int state) {
    if (guiWorks_) guiWorks_->SetCommandState(command, state);
}

void CLEDView::StopAutostep() { autostep_.Stop(); }

void CLEDView::Diagnose(const std::string& label, std::string_view text) {
    WriteOutput(kMessageKind, label, text);
}

void CLEDView::WriteOutput(int32_t kind, const std::string& label, std::string_view text) {
    if (!hostServices_ || text.empty()) return;
    // The source, and the prefix of an unlabelled line (every line of a
    // register dump), are the same each time: made once.
    static const CComBSTR source(kOutputSource);
    static const CComBSTR noPrefix{std::string_view()};
    CComBSTR labelled;
    if (!label.empty()) *labelled.out() = AnsiToBstr(label + " -->");
    // The line's text in storage kept from line to line; a message written
    // while another is (the host calling back) gets its own.
    if (writingLine_) {
        CComBSTR line(text);
        hostServices_->WriteMessage(kind, source.get(),
                                    label.empty() ? noPrefix.get() : labelled.get(), line.get());
        return;
    }
    BSTR line = lineText_.assign(text);
    if (!line) return;
    writingLine_ = true;
    hostServices_->WriteMessage(kind, source.get(), label.empty() ? noPrefix.get() : labelled.get(),
                                line);
    writingLine_ = false;
}
