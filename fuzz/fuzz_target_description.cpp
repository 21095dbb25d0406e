// The target description the module reads from the host (part name,
// target name, frequency): any text as the host's answer at debug start.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/CLEDView.h"
#include "host/memory/InMemoryHost.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    memhost::InMemoryHost host;
    host.works().installDirectory = "/nonexistent/quill-fuzz";  // no real part files
    host.target().useXmlOverride = true;
    host.target().xmlOverride.assign(reinterpret_cast<const char*>(data), size);
    auto* view = new CLEDView;
    view->AddRef();
    if (view->Init(&host.works()) == S_OK) {
        host.works().debugging = 1;
        view->HandleEvent(103, nullptr);  // debugging starts
        (void)view->GetFrequency();
        view->HandleEvent(104, nullptr);  // and stops
    }
    view->Release();
    return 0;
}
