// The start-up's process operations over Win32.
#pragma once

#include <windows.h>

#include "app/process_platform.h"

// The temporary folder becomes the current directory: no library may ever
// be loaded from it. System libraries come from System32 only, and the
// current directory leaves the legacy search order too.
void RestrictLibrarySearch();

class Win32Process : public ProcessPlatform {
public:
    void* LoadLibraryByName(const char* name) override;
    void* FindProcedure(void* module, const char* name) override;
    bool CallIsWow64Process(void* procedure, int* wow64) override;
    void FreeLibraryModule(void* module) override;
    intptr_t ShellOpen(const char* file, const char* parameters) override;
};
