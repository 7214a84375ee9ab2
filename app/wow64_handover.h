// The 32-bit build on 64-bit Windows hands over to "x64\Portolan.exe" in
// the current directory.
#pragma once

#include "app/process_platform.h"

// The shell looks a bare relative path up along the search path, the
// executable's own folder first; ".\" ties it to the current directory.
constexpr char k64BitBuildPath[] = ".\\x64\\Portolan.exe";

int IsRunningUnderWow64();
// True when the 64-bit build has taken over and this process ends with 0.
bool HandOverTo64BitBuild(const char* commandLine);
