// What the game shows, kept for the backends (shown.h).
#include "platform/shown.h"

namespace {
ShownState current;
}

void SetShownState(const ShownState& state) { current = state; }
ShownState CurrentShownState() { return current; }
