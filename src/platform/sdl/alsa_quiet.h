// ALSA's own error lines silenced before SDL opens sound (alsa_quiet.cpp).
#pragma once

// Replaces libasound's error handler with one that prints nothing, where libasound is installed.
void QuietAlsaErrors();
