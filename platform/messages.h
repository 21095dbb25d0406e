// Registered window messages: one process-wide number per message name, so
// that every module and the host agree on the number of "BLINKCURSOR" or
// "WM_CHANGESTATUSBAR" without sharing a header constant.
//
// Toolkit-free. Numbers start at 0xC000 and grow by one per new name; the
// window layer turns a number into its toolkit's event type.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kFirstRegisteredMessage = 0xC000;
constexpr uint32_t kLastRegisteredMessage = 0xFFFF;

// The number registered for `name`; the same name always gets the same
// number within the process. Names compare case-sensitively. Returns 0 for
// an empty name or when the range of numbers is used up.
uint32_t RegisterWindowMessage(const std::string& name);

// The number registered for `name` so far, 0 when nobody registered it.
uint32_t FindWindowMessage(const std::string& name);
