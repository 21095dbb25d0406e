// Binding of a component to a port and pin of the simulated part.
//
// A component offers the ports of the selected part in its settings dialog
// (the register names containing "PIN" or "PORT"), turns the chosen port
// into register names ("PINx", "DDRx", "PORTx") and those into I/O register
// indices through its PortMap, and reads or writes one pin in one of two
// ways: straight through PINx, or from DDRx and PORTx like the pin driver.
//
// Toolkit-free, so the rules are tested without windows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Register name -> I/O register index for the ports of the selected part.
class PortMap {
public:
    // Index of `name`; a name the part does not have yields 0 and is added
    // with 0, so later lookups agree.
    int lookup(const std::string& name);
    void insert(const std::string& name, int index);
    bool contains(const std::string& name) const { return map_.count(name) != 0; }
    size_t size() const { return map_.size(); }
    const std::map<std::string, int>& entries() const { return map_; }

private:
    std::map<std::string, int> map_;
};

enum PortMode : int32_t {
    UsePin = 0,         // read and write PINx
    UseDdrAndPort = 1,  // the level is DDRx AND PORTx; inputs only are written
};

struct PortBinding {
    int32_t port = 0;  // position in the port list
    int32_t pin = 0;   // 0..7
    int32_t mode = UsePin;
    bool activeLow = false;
};

// Patterns asked of the core when the port map is rebuilt.
const std::vector<std::string>& PortRegisterPatterns();

struct PortTables {
    PortMap map;
    std::vector<std::string> list;  // names offered in the port combo box
};

// Builds the map of every given name (names containing "PORT", "DDR" or
// "PIN", as the core returns them) and the list of those that contain
// `listPattern` ("PIN" for LED and Switch, "PORT" for the Knight Rider).
// `address` resolves a name to its I/O register index.
PortTables BuildPortTables(const std::vector<std::string>& names, const std::string& listPattern,
                           const std::function<int(const std::string&)>& address);

// The letter of the port at position `port` of `portList`, taken from the
// listed name ("PINB" -> 'B'), so that a part without port A binds to the
// port the user saw. Falls back to 'A' + port when the list has no such
// entry or the name does not end in a port letter (empty list: no part
// known yet). A negative position counts as 0.
char PortLetter(const std::vector<std::string>& portList, int port);

// "PIN" + 'B' -> "PINB".
std::string PortRegisterName(const char* prefix, char letter);

// A pin number limited to 0..7.
inline int ClampPin(int pin) { return pin < 0 ? 0 : (pin > 7 ? 7 : pin); }

// The register byte that decides an output pin: PINx itself in UsePin,
// DDRx AND PORTx in UseDdrAndPort (an input with its pull-up on is low).
// Inline, as the next one: lights ask on every change of their pin.
inline uint8_t OutputLevel(int mode, uint8_t pinValue, uint8_t ddrValue, uint8_t portValue) {
    if (mode == UseDdrAndPort) return static_cast<uint8_t>(ddrValue & portValue);
    return pinValue;
}

// Whether bit `pin` of `byte` shows as lit, inverted when active low.
inline bool PinLit(uint8_t byte, int pin, bool activeLow) {
    const bool bit = ((byte >> ClampPin(pin)) & 1) != 0;
    return activeLow ? !bit : bit;
}

// The new PINx value for setting bit `pin` to `level`, or nothing when the
// pin may not be written (UseDdrAndPort and the pin is an output).
std::optional<uint8_t> InputWrite(int mode, int pin, bool level, uint8_t pinValue,
                                  uint8_t ddrValue);
