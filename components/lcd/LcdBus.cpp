#include "components/lcd/LcdBus.h"

bool ValidLcdConfig(const LcdConfig& c, const char** message) {
    const char* problem = nullptr;
    if (c.zoom < 1 || c.zoom > 16) {
        problem = "Zoom must be between 1 and 16.";
    } else if (c.lines != 1 && c.lines != 2 && c.lines != 4) {
        problem = "Lines must be 1, 2 or 4.";
    } else if (c.screenSize < 1 || c.screenSize > DisplayRam::MaxColumns(c.lines)) {
        problem = c.lines == 1   ? "Screen size must be between 1 and 80 for one line."
                  : c.lines == 2 ? "Screen size must be between 1 and 40 for two lines."
                                 : "Screen size must be between 1 and 20 for four lines.";
    } else if (c.enablePin < 0 || c.enablePin > 7 || c.rsPin < 0 || c.rsPin > 7 || c.rwPin < 0 ||
               c.rwPin > 7) {
        problem = "Pins must be between 0 and 7.";
    } else if (c.dataPort < 0 || c.enablePort < 0 || c.rsPort < 0 || c.rwPort < 0) {
        problem = "Choose a port for every signal.";
    }
    if (message) *message = problem;
    return problem == nullptr;
}

LcdBus::LcdBus(HD44780U::Panel* panel, LcdPorts* ports, Value<uint8_t>* updateRequest)
    : panel_(panel),
      ports_(ports),
      ram_(config_.lines, config_.screenSize),
      mpu_(ram_, display_, panel, &trace_) {
    mpu_.attachBus(&busWord_);
    if (updateRequest) {
        coreWatch_ = std::make_unique<RegisterWatch>(updateRequest, this, &LcdBus::resetLcd);
    }
    applyConfig(config_);
    busWatch_ = std::make_unique<CallOnWrite<LcdBus>>(&busWord_, this, &LcdBus::writeBack);
}

LcdBus::~LcdBus() = default;

Subject* LcdBus::watchedRegister() const {
    return registerWatch_ ? registerWatch_->subject() : nullptr;
}

void LcdBus::applyConfig(const LcdConfig& config) {
    config_ = config;
    ram_.setLayout(config_.lines, config_.screenSize);
    // A shift made on one long line is held within the shorter lines of
    // two or four; the text shown is the same either way.
    display_.shift %= ram_.lineLength();
    trace_.setEnabled(config_.trace);
    if (trace_.error()[0] && panel_) panel_->status(trace_.error());

    auto resolve = [this](int position) {
        PortSubjects r = ports_ ? ports_->registers(position) : PortSubjects{};
        return Signal{r.pin, r.ddr, r.port};
    };
    data_ = resolve(config_.dataPort);
    enable_ = resolve(config_.enablePort);
    rs_ = resolve(config_.rsPort);
    rw_ = resolve(config_.rwPort);

    watchEnablePort();
    // A new configuration starts from what E is now and sees no edge.
    enableHigh_ = enableLevel();
}

void LcdBus::watchEnablePort() {
    registerWatch_.reset();
    ddrWatch_.reset();
    const auto bit = static_cast<uint8_t>(1u << (config_.enablePin & 7));
    if (config_.usePinRegister) {
        if (enable_.pin) {
            registerWatch_ =
                std::make_unique<EnableWatch>(enable_.pin, this, &LcdBus::followEnable, bit);
        }
        return;
    }
    if (enable_.port) {
        registerWatch_ =
            std::make_unique<EnableWatch>(enable_.port, this, &LcdBus::followEnable, bit);
    }
    // E also rises when the program makes a high PORTx bit an output.
    if (enable_.ddr) {
        ddrWatch_ = std::make_unique<EnableWatch>(enable_.ddr, this, &LcdBus::followEnable, bit);
    }
}

uint8_t LcdBus::level(const Signal& s) const {
    if (config_.usePinRegister) return s.pin ? s.pin->stored() : 0;
    if (!s.port || !s.ddr) return 0;
    return static_cast<uint8_t>(s.port->stored() & s.ddr->stored());
}

bool LcdBus::enableLevel() const { return ((level(enable_) >> (config_.enablePin & 7)) & 1) != 0; }

void LcdBus::followEnable() {
    // The controller's own answer lands in PINx; that is no edge of E.
    if (inCycle_) return;
    const bool high = enableLevel();
    const bool rose = high && !enableHigh_;
    enableHigh_ = high;
    if (rose) sampleBus();
}

void LcdBus::sampleBus() {
    const uint8_t dataValue = level(data_);
    uint16_t data;
    if (!config_.fourBitInterface) {
        data = dataValue;
    } else if (config_.highNibble) {
        data = dataValue & 0xF0;
    } else {
        data = static_cast<uint16_t>((dataValue << 4) & 0xF0);
    }
    const bool rs = (level(rs_) >> (config_.rsPin & 7)) & 1;
    const bool rw = (level(rw_) >> (config_.rwPin & 7)) & 1;
    const uint16_t word =
        static_cast<uint16_t>(data | (rs ? lcdbus::kRS : 0) | (rw ? lcdbus::kRW : 0));
    busWord_.setNotifyEnabled(false);
    busWord_.set(word);
    busWord_.setNotifyEnabled(true);

    inCycle_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{inCycle_};
    mpu_.strobe().set(0);
    mpu_.strobe().set(1);
}

void LcdBus::writeBack() {
    const uint16_t w = busWord_.get();
    const bool high = w & lcdbus::kDrivesHigh, low = w & lcdbus::kDrivesLow;
    if (!(high || low) || !data_.pin) return;
    uint8_t mask, value;
    if (!config_.fourBitInterface) {
        mask = static_cast<uint8_t>((high ? 0xF0 : 0) | (low ? 0x0F : 0));
        value = static_cast<uint8_t>(w & 0xFF);
    } else if (config_.highNibble) {
        mask = high ? 0xF0 : 0;
        value = static_cast<uint8_t>(w & 0xF0);
    } else {
        mask = high ? 0x0F : 0;
        value = static_cast<uint8_t>((w >> 4) & 0x0F);
    }
    if (!mask) return;
    const uint8_t old = data_.pin->get();
    data_.pin->set(static_cast<uint8_t>((old & ~mask) | (value & mask)));
}

void LcdBus::resetLcd() {
    // The part may have changed with the reset: resolve the ports again.
    if (ports_) ports_->refresh();
    applyConfig(config_);
    mpu_.reset();
}
