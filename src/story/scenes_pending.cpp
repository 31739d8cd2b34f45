// Scene handlers not written yet: each does nothing.
#include "story/scenes.h"

void PrologueSetup(Window) {}
void PrologueTitle(Window) {}
void PrologueOutro(Window) {}
void OpeningSetup(Window) {}
void OpeningIntro(Window) {}
void OpeningPicture(Window) {}
void OpeningStage(Window) {}
void OpeningTeacher(Window) {}
void OpeningChoice(Window) {}
void RouteMain(Window) {}
void RouteMatch(Window) {}
void RouteMiss(Window) {}
void EndingPicture(Window) {}
void EndingSequence(Window) {}
void StaffRoll(Window) {}
