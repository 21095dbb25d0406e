// The debugger's machine on the simavr target.
#include <cmath>
#include <cstdio>

#include "host/session/HostSetup.h"
#include "host/boards/Board.h"

#include "contract/HostProtocol.h"

#if __has_include("host/sim/SimTargetAccess.h")
#include "host/sim/SimTarget.h"
#include "host/sim/SimTargetAccess.h"

extern "C" {
#include <sim_avr.h>
}
#include <cstring>

namespace {

using quill::sim::RunState;
using quill::sim::SimTarget;
using quill::sim::SimTargetAccess;

class SimMachine final : public Machine {
public:
    explicit SimMachine(std::shared_ptr<SimTarget> target)
        : target_(std::move(target)),
          access_(ComPtr<SimTargetAccess>::adopt(SimTargetAccess::create(target_))) {}
    ~SimMachine() override {
        // The plug-in may keep the target object; it then fails instead of
        // reaching a destroyed simulator.
        access_->detach();
    }

    bool step() override { return target_->step(); }
    void reset() override {
        target_->reset();
        access_->targetReset();
    }
    uint64_t cycles() const override { return target_->cycles(); }
    double frequencyHz() const override { return target_->frequency(); }
    uint32_t programCounter() const override { return target_->programCounter(); }
    std::string fault() const override {
        char pc[16];
        std::snprintf(pc, sizeof pc, "0x%04X", target_->programCounter());
        std::string text;
        switch (target_->state()) {
            case RunState::Crashed:
                text = std::string("the program crashed at PC ") + pc +
                       " (invalid instruction or memory access)";
                break;
            case RunState::Done:
                text = std::string("the program ended at PC ") + pc +
                       " (sleep with interrupts disabled)";
                break;
            case RunState::Exited:
                text = "the program exited with " + std::to_string(*target_->exitCode()) +
                       " at PC " + pc;
                break;
            default:
                return {};
        }
        for (const std::string& message : target_->takeMessages()) text += "; " + message;
        return text;
    }
    std::optional<int> exitCode() const override { return target_->exitCode(); }
    ITargetAccess* targetAccess() override { return static_cast<ITargetAccess*>(access_.get()); }
    bool refreshNeeded() override { return access_->refreshNeeded(); }
    void lapseRefreshFilter() override { access_->lapseRefreshFilter(); }
    Batch runBatch(uint64_t untilCycle, uint64_t count, bool leaveOut) override {
        Batch batch;
        // An empty set costs the run loop nothing: it sees no set at all.
        access_->setBreakpoints(breakpoints_ && !breakpoints_->empty() ? breakpoints_ : nullptr);
        batch.executed = access_->runUntilRefresh(untilCycle, count, leaveOut, &batch.refreshDue,
                                                  &batch.stopped);
        batch.breakpoint = access_->atBreakpoint();
        return batch;
    }
    Batch runRefreshingEach(uint64_t untilCycle, uint64_t count, RefreshCall refresh) override {
        Batch batch;
        access_->setBreakpoints(breakpoints_ && !breakpoints_->empty() ? breakpoints_ : nullptr);
        batch.executed = access_->runRefreshingEach(untilCycle, count, refresh.call,
                                                    refresh.context, &batch.stopped);
        batch.breakpoint = access_->atBreakpoint();
        return batch;
    }
    bool readMemory(LONG kind, uint32_t address, uint8_t* out, uint32_t count) override {
        return target_->read(kind, address, out, count);
    }
    bool writeMemory(LONG kind, uint32_t address, const uint8_t* data, uint32_t count) override {
        return target_->write(kind, address, data, count);
    }
    bool readFlash(uint32_t address, uint8_t* out, uint32_t count) override {
        const avr_t* core = target_->core();
        const uint32_t size = core->flashend + 1u;
        if (address > size || count > size - address) return false;
        // A read of nothing (gdb's "m0,0") may come without a buffer.
        if (count > 0) std::memcpy(out, core->flash + address, count);
        return true;
    }
    void setProgramCounter(uint32_t pc) override {
        avr_t* core = target_->core();
        if (pc <= core->flashend) core->pc = pc & ~1u;
    }
    SimTarget& target() { return *target_; }
    // The board the session runs as: the plug-in asks the target object
    // for its pin names.
    void setBoard(const quill::boards::Board& board) {
        std::array<std::string, 26 * 8> pins{};
        std::array<std::string, quill::sim::SimTargetAccess::kBoardChannels> channels{};
        for (const quill::boards::BoardPin& p : board.pins) {
            if (p.port >= 'A' && p.port <= 'Z' && p.bit >= 0 && p.bit <= 7)
                pins[static_cast<std::size_t>((p.port - 'A') * 8 + p.bit)] =
                    board.nameOf(p.port, p.bit);
            if (p.channel >= 0 && static_cast<std::size_t>(p.channel) < channels.size())
                channels[static_cast<std::size_t>(p.channel)] = p.name;
        }
        access_->setBoard(board.name, pins, channels);
    }
    std::shared_ptr<SimTarget> simulator() override { return target_; }

private:
    std::shared_ptr<SimTarget> target_;
    ComPtr<SimTargetAccess> access_;
};

}  // namespace

MachineFactory SimulatorFactory() {
    return [](const SessionConfig& config, std::string* error) -> std::unique_ptr<Machine> {
        // Too slow a clock is the target's to refuse (it knows its floor).
        const double hz = std::round(config.frequencyMHz * 1e6);
        if (!(hz >= 0 && hz <= 4.0e9)) {
            *error = "clock frequency out of range";
            return nullptr;
        }
        try {
            auto target = std::make_shared<SimTarget>(
                config.part, static_cast<uint32_t>(hz),
                (config.installDirectory.empty() ? FindInstallDirectory({})
                                                 : config.installDirectory) +
                    "/" + kPartDescriptionFolder);
            target->loadFirmware(config.firmware);
            auto machine = std::make_unique<SimMachine>(std::move(target));
            if (const std::optional<quill::boards::Board> board = SessionBoard(config))
                machine->setBoard(*board);
            return machine;
        } catch (const quill::sim::SimError& e) {
            *error = e.what();
            return nullptr;
        }
    };
}

std::vector<std::string> SimulatedParts(const std::string& partFolder,
                                        std::map<std::string, std::string>* refused) {
    return quill::sim::runnableParts(partFolder, refused);
}

#else
MachineFactory SimulatorFactory() { return {}; }
std::vector<std::string> SimulatedParts(const std::string&, std::map<std::string, std::string>*) {
    return {};
}
#endif
