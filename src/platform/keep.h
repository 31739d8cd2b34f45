// Kept files: what the player's game keeps between runs (the settings, the session to continue, the
// messages already read), in the platform's own place: $XDG_CONFIG_HOME/kirake and $XDG_STATE_HOME/kirake
// on Linux, %APPDATA%\kirake and %LOCALAPPDATA%\kirake on Windows, the browser's storage on the page.
#pragma once
#include <cstddef>
#include <string>

enum KeptKind {
    KEPT_SETTINGS = 0,  // the player's choices (config)
    KEPT_STATE,         // the session, the messages read (state)
};

// Reads the kept file NAME (letters, digits, '-', '_', '.'). 1 with *bytes; 0 with *why empty when there
// is none, or with *why saying what is wrong (unreadable, larger than maxBytes).
int ReadKept(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why);
// Writes it whole: a new file renamed over the old, so a failed write never leaves the old one damaged.
// 1, or 0 with *why.
int WriteKept(KeptKind kind, const char* name, const std::string& bytes, std::string* why);
// Sets a kept file aside (as NAME.bad, replacing an older one) so that it is not read again. 1, or 0.
int SetKeptAside(KeptKind kind, const char* name);
// Where the file is kept, for messages: a path, or the browser's storage and the name.
std::string KeptPlace(KeptKind kind, const char* name);
