// The advice window: a topic of the help file in an HTML Help window of the
// type "NewWindow", to the right of the main window.
#pragma once

#include <cstdint>

#include "app/help_platform.h"

extern int32_t LastAdviceTopic;

constexpr char kHelpFile[] = "Portolan.chm";

void ShowAdviceTopic(WindowRef mainWindow, int32_t topic);
WindowRef CallHtmlHelp(WindowRef caller, const char* file, unsigned command, uintptr_t data);
int GetHtmlHelpControlPath(char* path);
// Forgets the binding and the last topic, as at process start (for tests).
void ResetAdviceWindowState();
