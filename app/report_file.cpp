#include "app/report_file.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>

#include "app/platform_machine.h"
#include "app/report_text.h"
#include "app/win32_process.h"
#include "app/wow64_handover.h"
#include "assess/memory_panel.h"
#include "tree/device_tree.h"
#include "tree/memory_tree.h"
#include "tree/topology_scan.h"

namespace {

Win32Process ProcessOfMachine;
MemoryTree ReportTree;
MemoryStatusLine ReportStatus;
MemoryPanel ReportPanel;

using GetVersionProc = LONG(WINAPI*)(OSVERSIONINFOW*);

// RtlGetVersion tells the true version whatever the manifest says.
std::string WindowsOfMachine()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    auto get = reinterpret_cast<GetVersionProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!get || get(&version) != 0)
        return "unbekannt";
    return WindowsName(version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
}

ReportFacts FactsOfThisRun()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char created[32];
    snprintf(created, sizeof(created), "%02u.%02u.%04u %02u:%02u:%02u", now.wDay, now.wMonth, now.wYear, now.wHour,
             now.wMinute, now.wSecond);
    ReportFacts facts;
    facts.created = created;
    facts.windows = WindowsOfMachine();
    facts.programBits = static_cast<int>(sizeof(void*) * 8);
    facts.windows64 = facts.programBits == 64 || IsRunningUnderWow64();
    return facts;
}

// The system's text for an error code, without its line end.
std::wstring SystemReason(DWORD error)
{
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  512, nullptr);
    while (length && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
        text[--length] = 0;
    wchar_t code[32];
    swprintf(code, 32, L"%lsFehler %lu", length ? L" (" : L"", error);
    return std::wstring(text) + code + (length ? L")" : L"");
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done < (1u << 20) ? bytes.size() - done : 1u << 20);
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

}  // namespace

void InstallReportPlatform()
{
    InstallMachinePlatform();
    ActiveProcess = &ProcessOfMachine;
    ActiveTreeView = &ReportTree;
    ActiveStatusBar = &ReportStatus;
    ActivePanel = &ReportPanel;
}

std::string ScanReportText()
{
    ShowUnusedPorts = 1;
    ShowUnusedControllers = 1;
    RefreshTree();
    std::string text = ReportHeader(FactsOfThisRun()) + ReportBody(ReportTree, ReportStatus.Text());
    ClearTree();
    return text;
}

bool WriteReportFile(const std::wstring& path, const std::string& bytes, std::wstring* reason)
{
    // MoveFileExW replaces a read-only file on some platforms; never do.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        *reason = SystemReason(ERROR_ACCESS_DENIED);
        return false;
    }
    wchar_t suffix[32];
    swprintf(suffix, 32, L".%lu.tmp", GetCurrentProcessId());
    const std::wstring temporary = path + suffix;
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = SystemReason(GetLastError());
        return false;
    }
    const bool written = WriteAll(file, bytes);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written)
        error = GetLastError();
    DeleteFileW(temporary.c_str());
    *reason = SystemReason(error);
    return false;
}

std::wstring DefaultReportPath()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)) || !folder[0])
        return {};
    std::wstring path = folder;
    if (path.back() != L'\\')
        path += L'\\';
    return path + L"Portolan-Bericht.txt";
}
