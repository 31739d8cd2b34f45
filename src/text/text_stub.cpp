// Placeholder until the message window lands: messages end at once, nothing is drawn.
#include "text/text.h"

extern const char GAME_FACE[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
MessageState message;

void BeginText(const char*, int, Surface*) {}
void EndText(Surface*) {}
void DrawTextString(int, int, const char*, uint32_t) {}
void DrawTextLine(const char*, const char*, int, int, int, Surface*, int, int, int) {}
void LoadScriptText(Window) {}
int TypeMessage(Window, const uint8_t*, int, int, int, Surface*, int, int, int, uint8_t) { return 1; }
