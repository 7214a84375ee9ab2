// What the start-up's hand-over needs of the process: its libraries and
// the shell. Win32 in the exe, faked in the tests.
#pragma once

#include <cstdint>

class ProcessPlatform {
public:
    virtual ~ProcessPlatform() = default;
    virtual void* LoadLibraryByName(const char* name) = 0;
    virtual void* FindProcedure(void* module, const char* name) = 0;
    // Calls IsWow64Process for the current process; false when the call fails.
    virtual bool CallIsWow64Process(void* procedure, int* wow64) = 0;
    virtual void FreeLibraryModule(void* module) = 0;
    // ShellExecuteA(no owner, "open", file, parameters, no directory, SW_SHOWNORMAL).
    virtual intptr_t ShellOpen(const char* file, const char* parameters) = 0;
};

extern ProcessPlatform* ActiveProcess;
