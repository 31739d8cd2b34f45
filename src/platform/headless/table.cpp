// The headless backend's table. Its text and file watch are the build's main backend's (so that its
// captures are the pictures a player sees); its sound is the mixer on the frame clock, recorded with
// --record-audio.
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/headless/headless.h"

extern const Backend headlessBackend;  // in the build's list (cmake/KirakeBackends.cmake)
const Backend headlessBackend = {
    .name = "headless",
    .headless = true,
    .start = HeadlessStart,
    .stop = HeadlessStop,
    .openWindow = HeadlessOpenWindow,
    .closeWindow = HeadlessCloseWindow,
    .hideCursor = HeadlessHideCursor,
    .messageBox = HeadlessMessageBox,
    .pumpEvents = HeadlessPumpEvents,
    .waitEvents = HeadlessWaitEvents,
    .readKeys = HeadlessReadKeys,
    .present = HeadlessPresent,
    .frameShown = HeadlessFrameShown,
    .tickCount = HeadlessTickCount,
    .calendarTime = HeadlessCalendarTime,
    .sound = &frameClockSound,
    .text = nullptr,  // the main backend's
    .watch = nullptr,
    .language = nullptr,
    .writePng = WritePngZlib,
    .arguments = nullptr,
    .hasRoot = nullptr,
    .programPath = nullptr,
    .speech = nullptr,
    .kept = nullptr,
    .busy = nullptr,
};
