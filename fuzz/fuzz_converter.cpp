// The converter section of part description files (ANALOG_CONVERTER) on any
// text: a description read is always one the model can index without a
// check (a selection table per field, channels within the count's limit).
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "components/analog/ConverterDescription.h"
#include "core/PartDescriptionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument doc;
    if (!quill::partfile::parse(text, &doc).empty()) return 0;
    std::string error;
    const auto d = adc::ReadConverterDescription(doc, &error);
    if (!d) return 0;
    if (!error.empty()) __builtin_trap();
    if (d->mux.empty() || d->mux.size() > adc::kMaxFieldBits) __builtin_trap();
    if (d->inputs.size() != size_t{1} << d->mux.size()) __builtin_trap();
    if (d->references.size() != size_t{1} << d->reference.size()) __builtin_trap();
    if (d->channels < 1 || d->channels > adc::kMaxChannels) __builtin_trap();
    for (const adc::InputSelection& in : d->inputs) {
        if (in.positive < 0 || in.positive >= adc::kMaxChannels || in.negative < 0 ||
            in.negative >= adc::kMaxChannels || in.gain < 1)
            __builtin_trap();
    }
    for (const auto* field : {&d->mux, &d->reference, &d->trigger}) {
        for (const adc::BitPlace& bit : *field) {
            if (bit.bit < 0 || bit.bit > 7 || bit.reg.empty()) __builtin_trap();
        }
    }
    return 0;
}
