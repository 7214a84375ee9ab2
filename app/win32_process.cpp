#include "app/win32_process.h"

#include <shellapi.h>

void RestrictLibrarySearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
    SetDllDirectoryA("");
}

void* Win32Process::LoadLibraryByName(const char* name)
{
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* Win32Process::FindProcedure(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool Win32Process::CallIsWow64Process(void* procedure, int* wow64)
{
    using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64Function>(procedure);
    BOOL answer = FALSE;
    if (!isWow64(GetCurrentProcess(), &answer))
        return false;
    *wow64 = answer ? 1 : 0;
    return true;
}

void Win32Process::FreeLibraryModule(void* module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

intptr_t Win32Process::ShellOpen(const char* file, const char* parameters)
{
    return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", file, parameters, nullptr, SW_SHOWNORMAL));
}
