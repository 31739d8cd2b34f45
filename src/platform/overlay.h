// A line of text over the page, outside the game's own picture: the sheets, the page and the palette
// stay as the game made them; the line is added where the page is shown and captured.
// Used by the live reload to tell of a data file it could not take.
#pragma once

// Shows the line (UTF-8; ASCII is drawn) in a band across the top of the page; null or "" hides it.
void ShowOverlayLine(const char* text);

// A panel of the player's own over the dimmed page (the history, the settings, the offer to continue),
// drawn where the page is shown and captured as the line is: the game's page and palette stay untouched.
// Lines are UTF-8; one wider than the panel wraps onto the rows below (the highlighted one is kept in
// view); the caller scrolls. Null hides it.
struct OverlayPanel {
    const char* title;          // drawn above the lines
    const char* const* lines;   // lineCount lines, at most OVERLAY_PANEL_LINES shown
    int lineCount;
    int highlighted;            // the line drawn highlighted, or -1
    const char* footer;         // a hint at the foot ("Page Down or Esc: back to the story"), or null
};
constexpr int OVERLAY_PANEL_LINES = 18;
void ShowOverlayPanel(const OverlayPanel* panel);
