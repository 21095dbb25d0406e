#include "framework/PinBinding.h"

#include "core/CLEDView.h"

// ---- PortRegisters

PortRegisters::PortRegisters(CLEDView* core, std::string listPattern, std::string owner)
    : core_(core), listPattern_(std::move(listPattern)), owner_(std::move(owner)) {}

PortRegisters::~PortRegisters() = default;

void PortRegisters::refresh() {
    if (core_) {
        PortTables tables = BuildPortTables(
            core_->GetAvailableRegistersByName(PortRegisterPatterns()), listPattern_,
            [this](const std::string& name) { return core_->GetRegisterAddress(name); });
        map_ = std::move(tables.map);
        list_ = std::move(tables.list);
    }
    if (then_) then_();
}

void PortRegisters::follow(std::function<void()> then) {
    then_ = std::move(then);
    if (core_ && !updateWatch_) {
        updateWatch_ = std::make_unique<CallOnChange<PortRegisters, uint8_t>>(
            core_->UpdateRequest(), this, &PortRegisters::onUpdateRequest);
    }
    refresh();
}

int PortRegisters::index(const std::string& name) const {
    auto it = map_.entries().find(name);
    return it == map_.entries().end() ? -1 : it->second;
}

int PortRegisters::index(const char* prefix, char letter) const {
    return index(PortRegisterName(prefix, letter));
}

GatedValue<uint8_t>* PortRegisters::subject(const char* prefix, char letter) const {
    const std::string name = PortRegisterName(prefix, letter);
    const int i = index(name);
    GatedValue<uint8_t>* reg = (i >= 0 && core_) ? core_->IORegister(i) : nullptr;
    if (!reg && core_) {
        core_->Log(owner_ + "::bind()",
                   i < 0 ? "The selected part has no " + name + "; not connected."
                         : name + " lies outside the I/O space (index " + std::to_string(i) +
                               "); not connected.");
    }
    return reg;
}

int PortRegisters::positionOf(char letter) const {
    for (size_t i = 0; i < list_.size(); ++i) {
        if (letterAt(static_cast<int>(i)) == letter) return static_cast<int>(i);
    }
    return -1;
}

char PortRegisters::defaultLetter(char preferred) const {
    if (list_.empty() || positionOf(preferred) >= 0) return preferred;
    return letterAt(0);
}

// ---- OutputPort

OutputPort::OutputPort(std::function<void()> changed, bool showsOnly)
    : changed_(std::move(changed)), showsOnly_(showsOnly) {}

OutputPort::~OutputPort() = default;

void OutputPort::unbind() {
    watch_.reset();
    ddrWatch_.reset();
    levelIndex_ = -1;
    ddrIndex_ = -1;
}

bool OutputPort::bind(const PortRegisters& ports, char letter, int mode, const char* pinPrefix) {
    unbind();
    choice_ = PortChoice{letter, mode, false, 0};
    pinPrefix_ = pinPrefix;
    if (mode == UseDdrAndPort) {
        GatedValue<uint8_t>* ddr = ports.subject("DDR", letter);
        GatedValue<uint8_t>* port = ports.subject("PORT", letter);
        if (!ddr || !port) return false;
        ddrWatch_ = std::make_unique<Watch>(ddr, this, &OutputPort::fire, interest_);
        watch_ = std::make_unique<Watch>(port, this, &OutputPort::fire, interest_);
        ddrIndex_ = ports.index("DDR", letter);
        levelIndex_ = ports.index("PORT", letter);
        ddrWatch_->setShowsOnly(showsOnly_);
    } else {
        GatedValue<uint8_t>* pin = ports.subject(pinPrefix_.c_str(), letter);
        if (!pin) return false;
        watch_ = std::make_unique<Watch>(pin, this, &OutputPort::fire, interest_);
        levelIndex_ = ports.index(pinPrefix_.c_str(), letter);
    }
    watch_->setShowsOnly(showsOnly_);
    fire();
    return true;
}

bool OutputPort::bindDefault(const PortRegisters& ports, char preferred, int mode,
                             const char* pinPrefix) {
    const bool ok = bind(ports, ports.defaultLetter(preferred), mode, pinPrefix);
    choice_.isDefault = true;
    choice_.preferred = preferred;
    return ok;
}

bool OutputPort::rebind(const PortRegisters& ports) {
    if (choice_.letter == 0) return false;  // never bound
    const std::string prefix = pinPrefix_;
    if (choice_.isDefault)
        return bindDefault(ports, choice_.preferred, choice_.mode, prefix.c_str());
    return bind(ports, choice_.letter, choice_.mode, prefix.c_str());
}

void OutputPort::setInterest(uint8_t bits) {
    interest_ = bits;
    if (watch_) watch_->setMask(bits);
    if (ddrWatch_) ddrWatch_->setMask(bits);
}

void OutputPort::fire() {
    if (changed_) changed_();
}

// ---- InputPin

void InputPin::unbind() {
    pin_ = ddr_ = nullptr;
    pinIndex_ = ddrIndex_ = -1;
}

bool InputPin::bind(const PortRegisters& ports, char letter, int mode) {
    unbind();
    choice_ = PortChoice{letter, mode, false, 0};
    GatedValue<uint8_t>* pin = ports.subject("PIN", letter);
    GatedValue<uint8_t>* ddr = ports.subject("DDR", letter);
    if (!pin || !ddr) return false;
    pin_ = pin;
    ddr_ = ddr;
    pinIndex_ = ports.index("PIN", letter);
    ddrIndex_ = ports.index("DDR", letter);
    return true;
}

bool InputPin::bindDefault(const PortRegisters& ports, char preferred, int mode) {
    const bool ok = bind(ports, ports.defaultLetter(preferred), mode);
    choice_.isDefault = true;
    choice_.preferred = preferred;
    return ok;
}

bool InputPin::rebind(const PortRegisters& ports) {
    if (choice_.letter == 0) return false;
    if (choice_.isDefault) return bindDefault(ports, choice_.preferred, choice_.mode);
    return bind(ports, choice_.letter, choice_.mode);
}

std::optional<bool> InputPin::read(int pin) const {
    if (!pin_) return std::nullopt;
    return ((pin_->get() >> ClampPin(pin)) & 1) != 0;
}

bool InputPin::write(int pin, bool level) {
    if (!pin_ || !ddr_) return false;
    const auto value = InputWrite(choice_.mode, pin, level, pin_->get(), ddr_->get());
    if (!value) return false;
    pin_->set(*value);
    return true;
}

std::optional<InputPin::Toggle> InputPin::toggle(int pin) {
    const std::optional<bool> now = read(pin);
    if (!now) return std::nullopt;
    const bool level = !*now;
    return Toggle{level, write(pin, level)};
}

std::string PinLabel(char letter, int pin) {
    if (!letter) return "not connected";
    return std::string("P") + letter + static_cast<char>('0' + ClampPin(pin));
}

std::string ChannelLabel(int channel) {
    return channel < 0 ? "no channel" : "ADC" + std::to_string(channel);
}
