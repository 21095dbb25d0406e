#include "framework/PortBinding.h"

int PortMap::lookup(const std::string& name) {
    auto [it, inserted] = map_.emplace(name, 0);
    return it->second;
}

void PortMap::insert(const std::string& name, int index) { map_.emplace(name, index); }

const std::vector<std::string>& PortRegisterPatterns() {
    static const std::vector<std::string> patterns{"PORT", "DDR", "PIN"};
    return patterns;
}

PortTables BuildPortTables(const std::vector<std::string>& names, const std::string& listPattern,
                           const std::function<int(const std::string&)>& address) {
    PortTables tables;
    for (const std::string& name : names) {
        if (!listPattern.empty() && name.find(listPattern) != std::string::npos) {
            tables.list.push_back(name);
        }
        tables.map.insert(name, address ? address(name) : 0);
    }
    return tables;
}

char PortLetter(const std::vector<std::string>& portList, int port) {
    if (port < 0) port = 0;
    if (static_cast<size_t>(port) < portList.size()) {
        const std::string& name = portList[static_cast<size_t>(port)];
        if (!name.empty() && name.back() >= 'A' && name.back() <= 'Z') return name.back();
    }
    return static_cast<char>('A' + (port > 25 ? 25 : port));
}

std::string PortRegisterName(const char* prefix, char letter) {
    return std::string(prefix) + letter;
}

std::optional<uint8_t> InputWrite(int mode, int pin, bool level, uint8_t pinValue,
                                  uint8_t ddrValue) {
    const uint8_t mask = static_cast<uint8_t>(1u << ClampPin(pin));
    if (mode == UseDdrAndPort && (ddrValue & mask) != 0) return std::nullopt;
    return static_cast<uint8_t>(level ? (pinValue | mask) : (pinValue & ~mask));
}
