#include "platform/messages.h"

#include <map>
#include <mutex>

namespace {
struct Registry {
    std::mutex lock;
    std::map<std::string, uint32_t> numbers;
    uint32_t next = kFirstRegisteredMessage;
};

Registry& registry() {
    static Registry instance;
    return instance;
}
}  // namespace

uint32_t RegisterWindowMessage(const std::string& name) {
    if (name.empty()) return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.numbers.find(name);
    if (found != r.numbers.end()) return found->second;
    if (r.next > kLastRegisteredMessage) return 0;
    uint32_t number = r.next++;
    r.numbers.emplace(name, number);
    return number;
}

uint32_t FindWindowMessage(const std::string& name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.numbers.find(name);
    return found == r.numbers.end() ? 0 : found->second;
}
