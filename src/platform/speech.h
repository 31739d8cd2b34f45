// Speech: the story's text for players who cannot see the page. Every message, question, answer and
// history line is given here as it opens, whether or not self-voicing is on: a platform with a
// screen-reader path (the page's live region) always shows it there; with `voiced` it is also said aloud
// (speech-dispatcher, SAPI, the Web Speech API) and noted for the trace.
#pragma once
#include <string>
#include <vector>

enum SpeechKind {
    SPEECH_MESSAGE = 0,  // a message's page, whole, as it starts typing
    SPEECH_CHOICE,       // a question's answers as it opens
    SPEECH_ANSWER,       // the highlighted answer, when the cursor moves
    SPEECH_HISTORY,      // the history's line under the cursor
    SPEECH_NOTICE,       // the player's own overlays and toggles ("Self-voicing on")
};

// Says the text (UTF-8), cutting off what was being said.
void SayText(const char* text, SpeechKind kind, int voiced);
// 1 when this run can say text aloud (a speech service answered); 0, with *why, when it cannot.
int SpeechAvailable(std::string* why);
// The texts said aloud (voiced) since the last call, in order: the trace writes them.
void TakeSpokenLines(std::vector<std::string>* lines);
