// Scenario files: the parser must refuse or accept any text without
// crashing, and describe every command it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/scenario/Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace sc = quill::scenario;
    sc::ParseOptions options;
    options.knownParts = {"ATmega16", "ATmega32", "ATmega8"};
    sc::ParseResult result =
        sc::parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.scn", options);
    for (const sc::Diagnostic& d : result.errors) (void)d.text();
    if (result.ok()) {
        for (const sc::Step& step : result.script.steps) (void)sc::describe(step.command);
    }
    return 0;
}
