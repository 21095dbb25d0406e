#include "components/lcd/LcdBus.h"

#include "components/lcd/LcdWiring.h"

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
    } else if (c.pinByPin) {
        // Wired pin by pin, every line needs a pin of its own.
        for (int line = c.fourBitInterface ? 4 : 0; line < 8 && !problem; ++line) {
            const LcdPin p = c.dataPins[static_cast<std::size_t>(line)];
            if (p.port < 0) {
                problem = "Wire every data line to a pin.";
            } else if (p.bit < 0 || p.bit > 7) {
                problem = "Pins must be between 0 and 7.";
            }
        }
        int first = 0, second = 0;
        if (!problem && lcdwire::SharedPin(c, &first, &second))
            problem = "A pin is used by two lines.";
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
    ++stateChanges_;
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
    enable_ = resolve(config_.enablePort);
    buildGroups(resolve);

    watchEnablePort();
    // A new configuration starts from what E is now and sees no edge.
    enableHigh_ = enableLevel();
}

template <typename Resolve>
void LcdBus::buildGroups(Resolve resolve) {
    groupCount_ = 0;
    auto group = [&](int port) -> Group* {
        for (int i = 0; i < groupCount_; ++i)
            if (groups_[static_cast<std::size_t>(i)].position == port)
                return &groups_[static_cast<std::size_t>(i)];
        if (groupCount_ >= kMaxGroups) return nullptr;
        Group& g = groups_[static_cast<std::size_t>(groupCount_++)];
        g = Group{};
        g.position = port;
        g.regs = resolve(port);
        return &g;
    };
    // A line: port bit `bit` of `port` carries the bus word bits `word`.
    auto line = [&](int port, int bit, uint16_t word, int dataLine) {
        if (port < 0) return;
        Group* g = group(port);
        if (!g) return;
        const auto portBit = static_cast<uint8_t>(1u << (bit & 7));
        g->mask = static_cast<uint8_t>(g->mask | portBit);
        for (int v = 0; v < 256; ++v) {
            if (v & portBit) g->gather[static_cast<std::size_t>(v)] |= word;
            if (dataLine >= 0 && ((v >> dataLine) & 1))
                g->scatter[static_cast<std::size_t>(v)] |= portBit;
        }
        if (dataLine >= 4) g->drivenHigh = static_cast<uint8_t>(g->drivenHigh | portBit);
        if (dataLine >= 0 && dataLine < 4)
            g->drivenLow = static_cast<uint8_t>(g->drivenLow | portBit);
    };
    line(config_.rsPort, config_.rsPin, lcdbus::kRS, -1);
    if (config_.rwWired) line(config_.rwPort, config_.rwPin, lcdbus::kRW, -1);
    for (int d = config_.fourBitInterface ? 4 : 0; d < 8; ++d) {
        const LcdPin p = lcdwire::LinePin(config_, lcdwire::kD0 + d);
        line(p.port, p.bit, static_cast<uint16_t>(1u << d), d);
    }
}

void LcdBus::watchEnablePort() {
    registerWatch_.reset();
    ddrWatch_.reset();
    const auto bit = static_cast<uint8_t>(1u << (config_.enablePin & 7));
    if (config_.usePinRegister) {
        if (enable_.pin) {
            registerWatch_ =
                std::make_unique<EnableWatch>(enable_.pin, this, &LcdBus::followEnable, bit);
            registerWatch_->setFallsMayWait(true);
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
    // Only a rise of E starts a bus cycle: its fall may be told late.
    if (registerWatch_) registerWatch_->setFallsMayWait(true);
    if (ddrWatch_) ddrWatch_->setFallsMayWait(true);
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
    ++stateChanges_;
    // One table look-up per port the lines are on.
    uint16_t word = 0;
    for (int i = 0; i < groupCount_; ++i) {
        const Group& g = groups_[static_cast<std::size_t>(i)];
        word |= g.gather[static_cast<std::size_t>(level(g.regs) & g.mask)];
    }
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
    if (!(high || low)) return;
    const auto lines = static_cast<std::size_t>(w & lcdbus::kDataLines);
    for (int i = 0; i < groupCount_; ++i) {
        const Group& g = groups_[static_cast<std::size_t>(i)];
        const auto mask =
            static_cast<uint8_t>((high ? g.drivenHigh : 0) | (low ? g.drivenLow : 0));
        if (!mask || !g.regs.pin) continue;
        const uint8_t old = g.regs.pin->get();
        g.regs.pin->set(static_cast<uint8_t>((old & ~mask) | (g.scatter[lines] & mask)));
    }
}

void LcdBus::resetLcd() {
    // The part may have changed with the reset: resolve the ports again.
    if (ports_) ports_->refresh();
    applyConfig(config_);  // counts the reset among the state changes
    mpu_.reset();
}
