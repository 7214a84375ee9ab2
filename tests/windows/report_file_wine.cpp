// The report program's own code in-process on the simulated USB stack of a
// Wine prefix: its scans close every device handle (the stack's count, read
// while this process lives) and every registry key they open, and give the
// same text each time; a file is written whole, an old one replaced whole.
// Targets it cannot write are checked on the shipped exe (report_test.sh).
//   portolan-report-check.exe SCRATCH_FOLDER   (a folder that exists)
// Prints PASS/FAIL lines and a summary; exit code 1 when a check failed.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/report_file.h"
#include "sim/wine/control_device.h"
#include "tests/windows/check_lines.h"
#include "tests/support/pass_through.h"

namespace {

std::string Contents(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(none)";
}

// The files in a folder.
size_t FilesIn(const std::wstring& folder)
{
    const std::filesystem::directory_iterator files(folder);
    return std::count_if(begin(files), end(files), [](const auto& entry) { return entry.is_regular_file(); });
}

// Counts the keys opened and closed through the registry the scan uses.
class CountingRegistry : public RegistryPassThrough {
public:
    RegistryKey OpenKey(RegistryKey parent, const char* path) override
    {
        return Count(RegistryPassThrough::OpenKey(parent, path));
    }
    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) override
    {
        return Count(RegistryPassThrough::OpenKeyEx(parent, path, access));
    }
    void CloseKey(RegistryKey key) override
    {
        ++closed;
        RegistryPassThrough::CloseKey(key);
    }
    int opened = 0;
    int closed = 0;

private:
    RegistryKey Count(RegistryKey key)
    {
        opened += key != nullptr;
        return key;
    }
};

void CheckScans()
{
    InstallReportPlatform();
    CountingRegistry registry;
    PortolanUsbStats stats = {};
    ControlUsbStack(IOCTL_PORTOLAN_RESET_STATS, nullptr, 0, nullptr, 0);
    const std::string first = ScanReportText();
    bool same = true;
    for (int run = 0; run < 2; ++run) {
        const std::string again = ScanReportText();
        same = same && again.substr(again.find("\n\n")) == first.substr(first.find("\n\n"));
    }
    const bool read = ReadUsbStackStats(&stats);
    Check(first.find("\nStatus: ") != std::string::npos, "a scan reports a tree and its status line");
    Check(read && stats.opens > stats.openFailures && stats.openHandles == 0,
          "three scans open " + std::to_string(stats.opens - stats.openFailures) +
              " device handles and leave none open (" + std::to_string(stats.openHandles) + ")");
    Check(registry.opened > 0 && registry.opened == registry.closed,
          "three scans open " + std::to_string(registry.opened) + " registry keys and close " +
              std::to_string(registry.closed));
    Check(same, "three scans give the same tree");
}

void CheckWrites(const std::wstring& scratch)
{
    const std::wstring target = scratch + L"\\Portolan-Bericht.txt";
    std::wstring reason;
    Check(WriteReportFile(target, "first", &reason) && Contents(target) == "first", "a new file is written");
    Check(WriteReportFile(target, std::string(300000, 'x'), &reason) && Contents(target) == std::string(300000, 'x'),
          "an existing file is replaced whole");
    Check(FilesIn(scratch) == 1, "no temporary file stays beside it");
}

}  // namespace

int main()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count != 2) {
        Check(false, "usage: portolan-report-check.exe SCRATCH_FOLDER");
        return CheckSummary("report program");
    }
    CheckScans();
    CheckWrites(arguments[1]);
    LocalFree(arguments);
    return CheckSummary("report program");
}
