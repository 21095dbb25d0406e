// Everything the plug-in asks of the host and the simulated target goes
// through here: attaching to the target, raw memory access, the target
// description, the output window and docked windows. Without a target the
// reads answer false or a fixed default and writes and logs do nothing.
#include <tinyxml.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/CLEDView.h"
#include "core/PartDescriptionFile.h"
#include "platform/text.h"

namespace {

// Counter behind InstanceCount for indices that name no component list.
// Module-wide: every plug-in object of the module shares it.
int g_instanceCounter = 0;

}  // namespace

bool CLEDView::ConnectTarget() {
    if (attached_) return true;
    if (!guiWorks_ || !hostServices_) return false;
    int16_t debugging = 0;
    if (FAILED(guiWorks_->GetDebuggingActive(&debugging))) {
        attached_ = false;
        return false;
    }
    if (debugging == 0) return false;

    // The target object of an earlier debug session is given back before
    // the current one is taken.
    ReleaseTarget();
    CComBSTR name(kTargetObjectName);
    HRESULT hr = hostServices_->GetNamedObject(name.get(), &IID_ITargetAccess, target_.putVoid());
    attached_ = SUCCEEDED(hr) && target_;
    if (!attached_) {
        target_.reset();
        return false;
    }
    // A host may offer access without a block per call; any other host is
    // served through ITargetAccess alone.
    if (FAILED(target_.queryInto(IID_ITargetDirectAccess, &direct_))) direct_.reset();
    // Its filter over the whole bank matters only with direct access.
    if (!direct_ || FAILED(target_.queryInto(IID_ITargetBankFilter, &bankFilter_)))
        bankFilter_.reset();
    if (!direct_ || FAILED(target_.queryInto(IID_ITargetBitFilter, &bitFilter_)))
        bitFilter_.reset();
    if (!bitFilter_ || FAILED(target_.queryInto(IID_ITargetFallFilter, &fallFilter_)))
        fallFilter_.reset();
    if (!direct_ || FAILED(target_.queryInto(IID_ITargetFilterUse, &filterUse_)))
        filterUse_.reset();
    // A host that tells which registers changed spares reading the rest;
    // nothing is known of this target's registers yet.
    if (FAILED(target_.queryInto(IID_ITargetChanges, &changes_))) changes_.reset();
    if (!changes_ || FAILED(target_.queryInto(IID_ITargetChangedValues, &changedValues_)))
        changedValues_.reset();
    // Recording instead of refreshing needs the filter that leaves the
    // refreshes out.
    if (!changes_ || !direct_ || FAILED(target_.queryInto(IID_ITargetChangeRecord, &recorder_)))
        recorder_.reset();
    unread_ = RegisterSet::FirstN(kMaxRegisterBank);
    ReadBoardPins();
    return attached_;
}

void CLEDView::ReadBoardPins() {
    boardPins_.clear();
    ComPtr<ITargetBoardPins> board;
    if (!target_ || FAILED(target_.queryInto(IID_ITargetBoardPins, &board)) || !board) return;
    CComBSTR name;
    if (board->GetBoardName(name.out()) != S_OK || !name.get()) return;
    boardPins_.setBoard(BstrToAnsi(name.get()));
    for (char port = 'A'; port <= 'Z'; ++port) {
        for (int bit = 0; bit < 8; ++bit) {
            CComBSTR pin;
            if (board->GetPinName(port, bit, pin.out()) == S_OK && pin.get())
                boardPins_.set(port, bit, BstrToAnsi(pin.get()));
        }
    }
    for (int channel = 0; channel < BoardPins::kChannels; ++channel) {
        CComBSTR adc;
        if (board->GetChannelName(channel, adc.out()) == S_OK && adc.get())
            boardPins_.setChannel(channel, BstrToAnsi(adc.get()));
    }
}

bool CLEDView::ReadMemory(LONG kind, ULONG address, ULONG count, uint8_t* buffer) {
    if (!attached_ || !target_ || !buffer) return false;
    if (direct_) return SUCCEEDED(direct_->Read(kind, address, count, buffer));
    BSTR block = nullptr;
    HRESULT hr = target_->ReadMemory(kind, address, count, &block);
    // The block must hold at least the bytes asked for; a shorter one is
    // treated as a failed read rather than read past its end.
    bool ok = SUCCEEDED(hr) && block && SysStringByteLen(block) >= count;
    if (ok) std::memcpy(buffer, block, count);
    SysFreeString(block);
    return ok;
}

bool CLEDView::ReadIOMemory(uint8_t* buffer) { return ReadMemory(kMemoryIo, 0, 64, buffer); }

bool CLEDView::ReadDataMemory(uint8_t* buffer) {
    return ReadMemory(kMemoryData, dataStart_, static_cast<ULONG>(dataMemory_.size()), buffer);
}

bool CLEDView::ReadRegisters(uint8_t* buffer) {
    return ReadMemory(kMemoryRegisters, 0, 32, buffer);
}

bool CLEDView::WriteIOMemory(const uint8_t* buffer) {
    return WriteIORegisters(0, kIoRegisterCount, buffer);
}

bool CLEDView::WriteIORegister(int index, uint8_t value) {
    if (index < 0 || index >= kIoRegisterCount) return false;
    return WriteIORegisters(static_cast<ULONG>(index), 1, &value);
}

bool CLEDView::WriteIORegisters(ULONG first, ULONG count, const uint8_t* buffer) {
    constexpr auto kRegisters = static_cast<ULONG>(kIoRegisterCount);
    if (first > kRegisters || count > kRegisters - first) return false;
    return WriteMemory(kMemoryIo, first, count, buffer);
}

bool CLEDView::WriteBankRegister(int index, uint8_t value) {
    if (index < 0 || index >= bankSize_) return false;
    if (index < kIoRegisterCount) return WriteIORegister(index, value);
    return WriteMemory(kMemoryData, static_cast<ULONG>(kRegisterBankBase + index), 1, &value);
}

bool CLEDView::WriteMemory(LONG kind, ULONG address, ULONG count, const uint8_t* buffer) {
    if (!attached_ || !target_ || !buffer) return false;
    if (direct_) return SUCCEEDED(direct_->Write(kind, address, count, buffer));
    BSTR block = SysAllocStringByteLen(reinterpret_cast<const char*>(buffer), count);
    if (!block) return false;
    HRESULT hr = target_->WriteMemory(kind, address, block);
    SysFreeString(block);
    return SUCCEEDED(hr);
}

uint32_t CLEDView::ReadCycleCounter() {
    uint32_t count = 0;
    return ReadCycleCounter(&count) ? count : 0;
}

bool CLEDView::ReadCycleCounter(uint32_t* count) {
    if (!attached_ || !target_ || !count) return false;
    ULONG value = 0;
    if (target_->GetCycleCounter(&value) != S_OK) return false;
    *count = static_cast<uint32_t>(value);
    return true;
}

std::string CLEDView::TargetXmlText(const char* section, const char* element, bool* found,
                                    bool* described) {
    *found = false;
    *described = false;
    if (!attached_ || !target_) return {};
    BSTR xml = nullptr;
    HRESULT hr = target_->GetTargetXml(&xml);
    std::string text = BstrToAnsi(xml);
    SysFreeString(xml);
    if (hr != S_OK) return {};
    *described = true;

    // The parser recurses once per nesting level: a hostile description
    // nested thousands deep is refused before it runs out of stack.
    if (quill::partfile::scanXml(text, quill::partfile::kMaxDepth).depth >
        quill::partfile::kMaxDepth) {
        Log("CLEDView::GetTargetXml()",
            "The target description nests elements too deeply; using defaults.");
        return {};
    }
    TiXmlDocument doc;
    doc.Parse(text.c_str());
    if (doc.Error()) {
        Log("CLEDView::GetTargetXml()", "The target description could not be read (" +
                                            std::string(doc.ErrorDesc()) + "); using defaults.");
        return {};
    }
    TiXmlElement* e = TiXmlHandle(&doc)
                          .FirstChildElement("TARGET")
                          .FirstChildElement(section)
                          .FirstChildElement(element)
                          .ToElement();
    if (!e) return {};
    *found = true;
    const char* value = e->GetText();
    return value ? value : "";
}

std::string CLEDView::GetSelectedTarget() {
    static const std::string label = "CLEDView::GetSelectedTarget()";
    bool found = false, described = false;
    std::string name = TargetXmlText("ADMIN", "TARGET_NAME", &found, &described);
    if (!found || name.empty()) name = "Unknown";
    Trace(label, name);
    return name;
}

std::string CLEDView::GetSelectedPartname() {
    static const std::string label = "CLEDView::GetSelectedPartname()";
    bool found = false, described = false;
    std::string name = TargetXmlText("SELECTED", "PART_NAME", &found, &described);
    if (!found || name.empty()) name = "Unknown";
    Trace(label, name);
    return name;
}

bool CLEDView::Target_is_Simulator() {
    if (!attached_) return false;
    return quill::text::EqualsIgnoreCase(GetSelectedTarget(), kSimulatorTargetName);
}

double CLEDView::GetFrequency() {
    if (!attached_ || !Target_is_Simulator()) return 1.0;
    bool found = false, described = false;
    std::string text = TargetXmlText("OPTIONS", "FREQUENCY", &found, &described);
    if (!described) return 0.0;
    if (!found) return 1.0;
    return quill::text::LeadingNumber(text);
}

std::string CLEDView::GetHostDirectory() {
    if (!guiWorks_) return {};
    BSTR directory = nullptr;
    HRESULT hr = guiWorks_->GetInstallDirectory(&directory);
    std::string text = SUCCEEDED(hr) ? BstrToAnsi(directory) : std::string();
    SysFreeString(directory);
    return text;
}

void CLEDView::Log(const std::string& label, std::string_view text) {
    if (!attached_ || text.empty()) return;
    Diagnose(label, text);
}

void CLEDView::Trace(const std::string& label, const std::string& text) {
    if (!attached_ || text.empty()) return;
    WriteOutput(kTraceMessageKind, label, text);
}

HRESULT CLEDView::CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d, HINSTANCE instance,
                                     HWND* window) {
    if (!guiWorks_) {
        if (window) *window = nullptr;
        return E_FAIL;
    }
    return guiWorks_->CreateDockedWindow(name, a, b, c, d, instance, window);
}

std::string CLEDView::RandomName(int length, const std::string& alphabet) {
    // An empty alphabet has no characters to draw from (and would divide by
    // zero): the name is then empty.
    if (length <= 0 || alphabet.empty()) return {};
    std::string name;
    name.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        name += alphabet[static_cast<size_t>(std::rand()) % alphabet.size()];
    }
    return name;
}

int CLEDView::InstanceCount(int commandIndex) {
    switch (commandIndex) {
        case kCmdKnightRider:
        case kCmdCapacityMeasurement:
        case kCmdLed:
        case kCmdSwitch:
        case kCmdSlider:
        case kCmdKeypad:
        case kCmdBeerbasement:
        case kCmdLcd:
            return static_cast<int>(Windows(commandIndex).size());
        case kCmdSettings:
        case kCmdStackView:
            return 0;
        default:
            return ++g_instanceCounter;
    }
}
