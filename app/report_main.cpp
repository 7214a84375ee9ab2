// Entry point of PortolanBericht.exe: scans this machine as Portolan.exe does
// and writes the report for the maker's support.
//   PortolanBericht.exe         Documents\Portolan-Bericht.txt, then opened
//                               in the user's editor
//   PortolanBericht.exe FILE    FILE; nothing is opened
// Exit code 0 when the file is written, 1 when not, 2 for a wrong call.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "app/report_file.h"
#include "app/report_text.h"
#include "app/win32_process.h"
#include "app/wow64_handover.h"

namespace {

constexpr wchar_t kTitle[] = L"Portolan-Bericht";

void Say(const std::wstring& text, UINT icon)
{
    MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | icon);
}

// The command line after the program's name, with the blank before it.
std::wstring ArgumentsTail()
{
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

// The 32-bit build on 64-bit Windows lets the 64-bit build in the x64 folder
// beside it scan, as Portolan.exe does, and waits for it, so that the file is
// complete when this process ends. False when that build cannot start.
bool RunThe64BitBuild(DWORD* exitCode)
{
    if (sizeof(void*) == 8 || !IsRunningUnderWow64())
        return false;
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    std::wstring program(self, length);
    program = program.substr(0, program.rfind(L'\\') + 1) + L"x64\\PortolanBericht.exe";
    std::wstring commandLine = L"\"" + program + L"\"" + ArgumentsTail();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, exitCode))
        *exitCode = 1;
    CloseHandle(process.hProcess);
    return true;
}

// The editor the user chose for text files, else Notepad.
bool OpenInEditor(const std::wstring& path)
{
    // ShellExecute reports success by a value above 32.
    auto opened = [](HINSTANCE result) { return reinterpret_cast<INT_PTR>(result) > 32; };
    return opened(ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) ||
           opened(ShellExecuteW(nullptr, L"open", L"notepad.exe", (L"\"" + path + L"\"").c_str(), nullptr,
                                SW_SHOWNORMAL));
}

std::wstring FullPath(const wchar_t* path)
{
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(path, 32768, full, nullptr);
    return length && length < 32768 ? std::wstring(full, length) : std::wstring(path);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictLibrarySearch();
    InstallReportPlatform();
    DWORD handedOver = 0;
    if (RunThe64BitBuild(&handedOver))
        return static_cast<int>(handedOver);

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count > 2) {
        if (arguments)
            LocalFree(arguments);
        Say(L"Aufruf: PortolanBericht.exe [Datei]\n\nOhne Angabe schreibt das Programm den Bericht als "
            L"Portolan-Bericht.txt in Ihren Ordner Dokumente.",
            MB_ICONERROR);
        return 2;
    }
    const bool chosen = count == 2;
    const std::wstring path = chosen ? FullPath(arguments[1]) : DefaultReportPath();
    LocalFree(arguments);
    if (path.empty()) {
        Say(L"Der Bericht konnte nicht gespeichert werden: Windows nennt keinen Ordner Dokumente.", MB_ICONERROR);
        return 1;
    }

    const std::string bytes = ReportFileBytes(ScanReportText());
    std::wstring reason;
    if (!WriteReportFile(path, bytes, &reason)) {
        Say(L"Der Bericht konnte nicht gespeichert werden.\n\nDatei: " + path + L"\nGrund: " + reason, MB_ICONERROR);
        return 1;
    }
    if (!chosen && !OpenInEditor(path))
        Say(L"Der Bericht ist gespeichert, l\u00e4sst sich aber nicht \u00f6ffnen:\n\n" + path, MB_ICONINFORMATION);
    return 0;
}
