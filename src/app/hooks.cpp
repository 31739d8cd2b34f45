#include "app/hooks.h"

Hooks hooks;
