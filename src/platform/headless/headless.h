// The headless backend's parts (headless.cpp), for its table (table.cpp) and for backends that run
// headless in their own way (the page's, web/web.cpp).
#pragma once
#include <cstdint>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"

int HeadlessStart(const PlatformOptions& options, std::string* error);
void HeadlessStop();
int HeadlessOpenWindow(const char* caption, const char* iconName);
void HeadlessCloseWindow();
void HeadlessHideCursor();
void HeadlessMessageBox(const char* text, const char* caption);
void HeadlessPumpEvents();
void HeadlessWaitEvents();
void HeadlessReadKeys(uint8_t state[256]);
// Counts the page's flip; HeadlessFrameShown ends the frame. Either way nothing is drawn.
void HeadlessPresent(const uint8_t* pixels, int pitch, const PaletteEntry* palette);
void HeadlessFrameShown(long framesShown);
// The display refreshes that framesRun frames took: one each, and one for every flip of a frame beyond
// its first. The virtual clock runs by them, and the sound output renders their samples.
long HeadlessRefreshes(long framesRun);
uint32_t HeadlessTickCount();
int64_t HeadlessCalendarTime();
