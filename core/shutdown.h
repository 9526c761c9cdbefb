#pragma once
// The work of the shutdown window: host sign-off, preferences and scanner settings written back.
#include <QString>

void endProgram();
