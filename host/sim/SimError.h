// What the simulator target throws when a part, a program or a call cannot
// be served; the message says why.
#pragma once

#include <stdexcept>

namespace quill::sim {

class SimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quill::sim
