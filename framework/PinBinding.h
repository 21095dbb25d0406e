// The one way a component binds to a port and pin of the simulated part.
// LED, Switch and Knight Rider use it; so should every component that is
// wired to a port (LCD bus, Capacity Measurement, Beerbasement outputs).
//
// Three pieces, each owned by the component:
//
//   PortRegisters  the ports of the selected part as this component sees
//                  them: the register map (name -> I/O index) and the port
//                  list its settings dialog offers ("PINA", "PINB", ... or
//                  "PORTA", ...). follow() refills both whenever the core's
//                  UpdateRequest changes (reset, host event 18, part change)
//                  and then calls the component back, which hands the new
//                  list to its dialog and rebinds.
//   OutputPort     watches an output port for a component that shows it
//                  (LED, Knight Rider bar): PINx in UsePin, DDRx and PORTx in
//                  UseDdrAndPort; calls the component when a watched register
//                  changes in a bit the component shows (its interest: one
//                  bit for an LED, all eight for a bar); level() is the byte
//                  that decides the pins.
//   InputPin       writes one input pin for a component that drives it
//                  (Switch, Knight Rider switch): PINx, and in UseDdrAndPort
//                  only while DDRx says the pin is an input. toggle() is the
//                  lever click.
//
// Port letters. A port chosen in a dialog is a position in the port list;
// letterAt() takes the letter from the listed name ("PINB" -> 'B'), so a part
// without port A binds to the port the user saw. Defaults: bindDefault()
// takes the preferred letter when the part has that port and otherwise the
// first listed port (an ATmega8 has no port A: a default LED watches PINB,
// not register 0). A default binding is chosen again after each refill, so
// it follows a change of part; a binding the user chose keeps its letter.
//
// Unknown names. A register the part does not have is never bound to
// register 0: bind() returns false, logs one line through the core, and the
// component stays unconnected (level() is 0, toggle() writes nothing) until
// a later refill or an OK in its dialog binds it.
//
// Typical use (see components/digital/frm_LED.cpp):
//
//   ports_.follow([this] { settings_->setPortList(ports_.list());
//                           output_.rebind(ports_); });   // in initDialog
//   output_.bindDefault(ports_, 'A', UsePin);
//   ...on OK:  output_.bind(ports_, ports_.letterAt(settings_->port), mode);
//   ...in the changed callback:  showPin(output_.level());
//
// Toolkit-free; callbacks run inside the core's observer notifications and
// must not throw anything but SubjectIsDestroyed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Observer.h"
#include "framework/PortBinding.h"

class CLEDView;

class PortRegisters {
public:
    // `listPattern`: "PIN" or "PORT", what the dialog lists. `owner`: the
    // component's label in log lines, "frm_LED".
    PortRegisters(CLEDView* core, std::string listPattern, std::string owner);
    ~PortRegisters();
    PortRegisters(const PortRegisters&) = delete;
    PortRegisters& operator=(const PortRegisters&) = delete;

    // Asks the core for the port registers of the selected part and
    // rebuilds the map and the list; then calls the follow() callback.
    void refresh();
    // refresh() now and whenever the core's UpdateRequest changes; `then`
    // runs after every refill.
    void follow(std::function<void()> then);

    const std::vector<std::string>& list() const { return list_; }
    const PortMap& map() const { return map_; }
    // The I/O index of a register, -1 when the part does not have it.
    int index(const std::string& name) const;
    int index(const char* prefix, char letter) const;
    // The subject of a register; null, with one log line, when the part does
    // not have it or it lies outside the I/O space.
    GatedValue<uint8_t>* subject(const char* prefix, char letter) const;

    // The port letter at a list position (from the listed name).
    char letterAt(int position) const { return PortLetter(list_, position); }
    // The list position of a port, -1 when not listed.
    int positionOf(char letter) const;
    // `preferred` when the part has that port, else the first listed port;
    // `preferred` too when nothing is listed (no part known yet).
    char defaultLetter(char preferred) const;

    CLEDView* core() const { return core_; }
    const std::string& owner() const { return owner_; }

private:
    void onUpdateRequest() { refresh(); }

    CLEDView* core_;
    std::string listPattern_;
    std::string owner_;
    PortMap map_;
    std::vector<std::string> list_;
    std::function<void()> then_;
    std::unique_ptr<CallOnChange<PortRegisters, uint8_t>> updateWatch_;
};

// What a binding is set to: the port letter and the mode, and whether it is
// the default (chosen again after a refill).
struct PortChoice {
    char letter = 0;
    int mode = UsePin;
    bool isDefault = false;
    char preferred = 0;  // the default's preferred letter
};

class OutputPort {
public:
    // `changed` runs after every bind, and when a watched register changes
    // in a bit of interest (all bits unless setInterest() says otherwise).
    // In UseDdrAndPort a change of DDRx or PORTx in such a bit need not
    // change level(): the component compares with what it shows.
    // `showsOnly`: the component only shows the level (a light, a bar), so
    // the core may tell it once a frame (Observer::setShowsOnly); a
    // component whose model reacts to the outputs leaves it false.
    explicit OutputPort(std::function<void()> changed, bool showsOnly = false);
    ~OutputPort();
    OutputPort(const OutputPort&) = delete;
    OutputPort& operator=(const OutputPort&) = delete;

    // Watches port `letter`: in UsePin the register `pinPrefix` + letter
    // (PINx; the Knight Rider's default bar watches PORTx directly), in
    // UseDdrAndPort DDRx and PORTx. False, and nothing watched, when the
    // part lacks one of them.
    bool bind(const PortRegisters& ports, char letter, int mode, const char* pinPrefix = "PIN");
    bool bindDefault(const PortRegisters& ports, char preferred, int mode,
                     const char* pinPrefix = "PIN");
    // Binds again after the tables changed: a default binding takes the
    // default letter anew, any other keeps its letter.
    bool rebind(const PortRegisters& ports);
    void unbind();

    // The bits of level() the component shows: a change of any other bit of
    // a watched register does not call it. An LED on one pin of a busy port
    // is then called for its own pin only. Takes effect with the next
    // change; bind() again to show the state of new bits at once.
    void setInterest(uint8_t bits);
    uint8_t interest() const { return interest_; }

    bool bound() const { return watch_ != nullptr; }
    const PortChoice& choice() const { return choice_; }
    // PINx (or PORTx) in UsePin, DDRx AND PORTx in UseDdrAndPort; 0 while
    // unbound. Throws SubjectIsDestroyed when a watched register is gone.
    uint8_t level() const {
        if (!watch_) return 0;
        if (ddrWatch_) return OutputLevel(UseDdrAndPort, 0, ddrWatch_->value(), watch_->value());
        return watch_->value();
    }
    // Indices watched: the level register (PINx, or PORTx in
    // UseDdrAndPort) and DDRx (UseDdrAndPort only); -1 when not watched.
    int levelIndex() const { return levelIndex_; }
    int ddrIndex() const { return ddrIndex_; }

private:
    using Watch = CallOnBitsChange<OutputPort, uint8_t>;
    void fire();

    std::function<void()> changed_;
    bool showsOnly_;
    PortChoice choice_;
    std::string pinPrefix_ = "PIN";
    std::unique_ptr<Watch> watch_, ddrWatch_;
    int levelIndex_ = -1;
    int ddrIndex_ = -1;
    uint8_t interest_ = 0xFF;
};

class InputPin {
public:
    // Drives port `letter`: PINx is written, DDRx decides in UseDdrAndPort
    // whether a pin is an input. False, and nothing bound, when the part
    // lacks PINx or DDRx.
    bool bind(const PortRegisters& ports, char letter, int mode);
    bool bindDefault(const PortRegisters& ports, char preferred, int mode);
    bool rebind(const PortRegisters& ports);
    void unbind();

    bool bound() const { return pin_ != nullptr; }
    const PortChoice& choice() const { return choice_; }
    int pinIndex() const { return pinIndex_; }
    int ddrIndex() const { return ddrIndex_; }

    // The level of bit `pin` of PINx; nullopt while unbound.
    std::optional<bool> read(int pin) const;
    // Sets bit `pin` of PINx by the input-write rule; false when unbound or
    // when the pin is an output in UseDdrAndPort (nothing written).
    bool write(int pin, bool level);

    // A lever click: the new level is the complement of the pin's present
    // bit; `written` tells whether it reached PINx.
    struct Toggle {
        bool level;
        bool written;
    };
    std::optional<Toggle> toggle(int pin);

private:
    PortChoice choice_;
    GatedValue<uint8_t>* pin_ = nullptr;
    GatedValue<uint8_t>* ddr_ = nullptr;
    int pinIndex_ = -1;
    int ddrIndex_ = -1;
};

// A pin as a component's wiring names it: "PA7"; "not connected" while the
// binding has no port.
std::string PinLabel(char letter, int pin);
// A converter channel as a component's wiring names it: "ADC3"; "no
// channel" for -1.
std::string ChannelLabel(int channel);
