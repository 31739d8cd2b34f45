#include "platform/hooks.h"

Hooks hooks;
