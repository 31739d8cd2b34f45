// The scene handlers of the six chapters; each does one frame's work and returns.
#pragma once
#include "platform/window.h"

void PrologueSetup(Window window);
void PrologueTitle(Window window);
void PrologueOutro(Window window);

void OpeningSetup(Window window);
void OpeningIntro(Window window);
void OpeningPicture(Window window);
void OpeningStage(Window window);
void OpeningTeacher(Window window);
void OpeningChoice(Window window);

void RouteMain(Window window);
void RouteMatch(Window window);
void RouteMiss(Window window);

void EndingPicture(Window window);
void EndingSequence(Window window);
void StaffRoll(Window window);
// 1 once "The End" has stopped: the last page, shown until the game is closed.
int EndingAtRest();
