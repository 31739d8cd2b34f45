// A line of text over the page, outside the game's own picture: the sheets, the page and the palette
// stay as the game made them; the line is added where the page is shown and captured.
// Used by the live reload to tell of a data file it could not take.
#pragma once

// Shows the line (UTF-8; ASCII is drawn) in a band across the top of the page; null or "" hides it.
void ShowOverlayLine(const char* text);
