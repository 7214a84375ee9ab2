// The 32-bit build on 64-bit Windows hands over to "x64\Portolan.exe" in
// the current directory.
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

// The shell looks a bare relative path up along the search path, the
// executable's own folder first; ".\" ties it to the current directory.
constexpr char k64BitBuildPath[] = ".\\x64\\Portolan.exe";

int IsRunningUnderWow64();
// True when the 64-bit build has taken over and this process ends with 0.
bool HandOverTo64BitBuild(const char* commandLine);
