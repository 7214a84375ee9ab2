#include "app/win32_help.h"

#include <windows.h>

#include <cstring>

void Win32Help::EnterTempFolder()
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    SetCurrentDirectoryA(folder);
}

void Win32Help::WindowCaption(WindowRef window, char* caption, int capacity)
{
    GetWindowTextA(static_cast<HWND>(window), caption, capacity);
}

ScreenRect Win32Help::WindowRect(WindowRef window)
{
    RECT rect = {};
    GetWindowRect(static_cast<HWND>(window), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

int Win32Help::FullScreenWidth()
{
    return GetSystemMetrics(SM_CXFULLSCREEN);
}

WindowRef Win32Help::DesktopWindow()
{
    return GetDesktopWindow();
}

void Win32Help::BringToForeground(WindowRef window)
{
    SetForegroundWindow(static_cast<HWND>(window));
}

void* Win32Help::LoadModule(const char* path)
{
    return reinterpret_cast<void*>(LoadLibraryA(path));
}

void* Win32Help::LoadSystemModule(const char* name)
{
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return reinterpret_cast<void*>(module);
    // Windows without the search flags: the full path in the system folder.
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + strlen(name) >= MAX_PATH)
        return nullptr;
    path[length] = '\\';
    memcpy(path + length + 1, name, strlen(name) + 1);
    return reinterpret_cast<void*>(LoadLibraryA(path));
}

void* Win32Help::FindOrdinal(void* module, int ordinal)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

WindowRef Win32Help::CallEntry(void* entry, WindowRef caller, const char* file, unsigned command, uintptr_t data)
{
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(entry);
    return htmlHelp(static_cast<HWND>(caller), file, command, data);
}
