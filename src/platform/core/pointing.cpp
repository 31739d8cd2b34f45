// What the game shows, kept for the backends (pointing.h).
#include "platform/pointing.h"

namespace {
ShownState current;
}

void SetShownState(const ShownState& state) { current = state; }
ShownState CurrentShownState() { return current; }
