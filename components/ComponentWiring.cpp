#include "components/ComponentWiring.h"

#include "core/CLEDView.h"

void WireComponents(CLEDView* core) {
    // Component windows register their factories here as they land.
    (void)core;
}
