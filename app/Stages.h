// The program's start-up stages and the release of what they create. Main
// thread.
#pragma once

#include "ui/FormSplash.h"

// The stages the splash window runs at start-up.
TStartupStages MakeStartupStages();
// Frees the program-wide objects the stages created, in their order of
// release; each variable is left null.
void FreeStartupObjects();
