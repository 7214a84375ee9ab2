#include "app/wow64_handover.h"

ProcessPlatform* ActiveProcess = nullptr;

namespace {
// ShellExecuteA reports success by a value above 32.
constexpr intptr_t kShellExecuteSuccessAbove = 32;
}

int IsRunningUnderWow64()
{
    void* kernel = ActiveProcess->LoadLibraryByName("kernel32.dll");
    if (!kernel)
        return 0;
    int answer = 0;
    // Older Windows lacks the function: not WOW64.
    if (void* isWow64 = ActiveProcess->FindProcedure(kernel, "IsWow64Process")) {
        int wow64 = 0;
        if (ActiveProcess->CallIsWow64Process(isWow64, &wow64))
            answer = wow64 ? 1 : 0;
    }
    ActiveProcess->FreeLibraryModule(kernel);
    return answer;
}

bool HandOverTo64BitBuild(const char* commandLine)
{
    if (!IsRunningUnderWow64())
        return false;
    return ActiveProcess->ShellOpen(k64BitBuildPath, commandLine) > kShellExecuteSuccessAbove;
}
