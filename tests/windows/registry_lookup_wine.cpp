// ReadDriverDesc and FindPnpInstanceId through Win32Registry against keys
// this program makes (a class key and "VID_FFF0&PID_..." below Enum\USB) in
// a throw-away Wine prefix: the keys stay, and each case uses driver names
// of its own. Prints PASS, FAIL or SKIP lines and a summary.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/check_lines.h"
#include "tree/registry_lookup.h"
#include "tree/registry_platform.h"
#include "tree/win32_registry.h"
#include "usb/zeroed_alloc.h"

namespace {

constexpr char kUsbPath[] = "System\\CurrentControlSet\\Enum\\USB";
constexpr char kClassPath[] = "System\\CurrentControlSet\\Control\\Class\\{5F3A9C2E-7B41-4D8A-9E06-C1D2B3A4F5E6}";
constexpr char kClassGuid[] = "{5F3A9C2E-7B41-4D8A-9E06-C1D2B3A4F5E6}";
// Target of the link keys; never created.
constexpr wchar_t kLinkTarget[] =
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{5F3A9C2E-7B41-4D8A-9E06-C1D2B3A4F5E6}\\None";

// count letters, varied so that a shifted or cut copy differs.
std::string Text(size_t count, char seed)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<char>('A' + (static_cast<size_t>(seed) + i * 7) % 26);
    return text;
}

HKEY CreateKey(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Sets a REG_SZ of text with its terminator, or, with terminated false, of
// text's bytes alone, the byte after them no terminator either. True when it
// is stored as asked: some platforms add a terminator.
bool SetString(HKEY key, const char* valueName, const std::string& text, bool terminated)
{
    const std::string bytes = text + (terminated ? '\0' : '#');
    const DWORD size = static_cast<DWORD>(terminated ? bytes.size() : text.size());
    if (RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), size) != ERROR_SUCCESS)
        return false;
    char stored[512] = {};
    DWORD storedSize = sizeof(stored);
    return RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &storedSize) ==
               ERROR_SUCCESS &&
           storedSize == size && memcmp(stored, bytes.data(), size) == 0;
}

enum class Make {
    Driver,              // instance key with a "Driver" value
    UnterminatedDriver,  // the same, the value stored without terminator
    DanglingLink,        // link key whose target does not exist: listed, not opened
};

struct KeySpec {
    const char* path;  // below Enum\USB
    Make make;
    const char* driver = "";  // class key index of the Driver value
};

std::string DriverName(const char* index)
{
    return std::string(kClassGuid) + "\\" + index;
}

// Makes one key. Empty when made as asked, "skip" when the platform does not
// do what the key needs, else what failed.
std::string MakeKey(HKEY usb, const KeySpec& wanted)
{
    HKEY key = nullptr;
    switch (wanted.make) {
    case Make::Driver:
    case Make::UnterminatedDriver: {
        key = CreateKey(usb, wanted.path);
        if (!key)
            return "cannot create the key";
        const bool terminated = wanted.make == Make::Driver;
        const bool asked = SetString(key, "Driver", DriverName(wanted.driver), terminated);
        RegCloseKey(key);
        return asked ? "" : terminated ? "cannot set Driver" : "skip";
    }
    case Make::DanglingLink: {
        if (RegCreateKeyExA(usb, wanted.path, 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return "skip";
        // The target as a counted string, without terminator.
        const LONG set = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                        reinterpret_cast<const BYTE*>(kLinkTarget),
                                        static_cast<DWORD>(wcslen(kLinkTarget) * sizeof(wchar_t)));
        RegCloseKey(key);
        if (set != ERROR_SUCCESS)
            return "skip";
        // A link to nowhere must not open; where it does, the platform does
        // not make such keys.
        HKEY opened = nullptr;
        if (RegOpenKeyA(usb, wanted.path, &opened) != ERROR_SUCCESS)
            return "";
        RegCloseKey(opened);
        return "skip";
    }
    }
    return "unknown kind of key";
}

struct FindCase {
    const char* name;
    std::vector<KeySpec> keys;
    const char* driver;    // class key index looked up
    const char* expected;  // instance ID, null for none
};

// Device key name of 100 characters: "VID_FFF0&PID_0017&" and digits.
std::string LongDeviceKey()
{
    std::string name = "VID_FFF0&PID_0017&";
    while (name.size() < 100)
        name += static_cast<char>('0' + name.size() % 10);
    return name + "\\0000";
}

void CheckFindPnpInstanceId(HKEY usb)
{
    const std::string longKey = LongDeviceKey();
    const FindCase cases[] = {
        // Made in reverse: the order is the platform's listing order.
        {"first of two matching instances of a device key wins",
         {{"VID_FFF0&PID_0001\\0002", Make::Driver, "0020"}, {"VID_FFF0&PID_0001\\0001", Make::Driver, "0020"}},
         "0020", "USB\\VID_FFF0&PID_0001\\0001"},
        {"instance whose Driver has no terminator is skipped",
         {{"VID_FFF0&PID_0011\\0000", Make::UnterminatedDriver, "0031"},
          {"VID_FFF0&PID_0011\\0001", Make::Driver, "0031"}},
         "0031", "USB\\VID_FFF0&PID_0011\\0001"},
        {"instance key that cannot be opened is skipped",
         {{"VID_FFF0&PID_0012\\0001", Make::Driver, "0032"}, {"VID_FFF0&PID_0012\\0000", Make::DanglingLink}},
         "0032", "USB\\VID_FFF0&PID_0012\\0001"},
        {"device key that cannot be opened is passed over",
         {{"VID_FFF0&PID_0013", Make::DanglingLink}, {"VID_FFF0&PID_0014\\0000", Make::Driver, "0040"}},
         "0040", "USB\\VID_FFF0&PID_0014\\0000"},
        // Last: the long key ends every later search that sorts after it.
        {"match found while no long device key precedes it",
         {{"VID_FFF0&PID_0018\\0000", Make::Driver, "0051"}},
         "0051", "USB\\VID_FFF0&PID_0018\\0000"},
        {"device key name of 100 characters before the match ends the search",
         {{longKey.c_str(), Make::Driver, "0052"}}, "0051", nullptr},
    };
    for (const FindCase& check : cases) {
        std::string problem;
        for (const KeySpec& wanted : check.keys)
            if (problem.empty())
                problem = MakeKey(usb, wanted);
        if (problem == "skip") {
            Skip(std::string(check.name) + ": the platform cannot make these keys");
            continue;
        }
        char* id = problem.empty() ? FindPnpInstanceId(DriverName(check.driver).c_str()) : nullptr;
        const std::string got = id ? id : "null";
        ReleaseBuffer(id);
        Check(problem.empty() && got == (check.expected ? check.expected : "null"),
              std::string(check.name) + (problem.empty() ? ": got " + got : ": setup: " + problem));
    }
}

void CheckReadDriverDesc(HKEY classKey)
{
    struct DescCase {
        const char* name;
        const char* index;
        size_t length;
        bool terminated;
        size_t read;  // characters that land in the buffer; 0: left as it was
    };
    const DescCase cases[] = {
        {"DriverDesc of 199 characters is read in full", "0000", 199, true, 199},
        {"DriverDesc of 200 characters leaves the buffer as it was", "0001", 200, true, 0},
        {"DriverDesc of 200 characters without terminator is cut to 199", "0004", 200, false, 199},
    };
    for (const DescCase& check : cases) {
        const std::string desc = Text(check.length, check.index[3]);
        HKEY key = CreateKey(classKey, check.index);
        const bool ready = key && SetString(key, "ProviderName", "Portolan", true);
        const bool stored = ready && SetString(key, "DriverDesc", desc, check.terminated);
        if (key)
            RegCloseKey(key);
        if (ready && !stored && !check.terminated) {
            Skip(std::string(check.name) + ": the platform stores a terminator for REG_SZ");
            continue;
        }
        // A buffer as the caller might have left it: text and leftovers.
        char description[kDriverDescBytes];
        memset(description, '~', sizeof(description));
        memcpy(description, "vorher", 7);
        char want[kDriverDescBytes];
        memcpy(want, description, sizeof(want));
        if (check.read) {
            memset(want, 0, sizeof(want));
            memcpy(want, desc.data(), check.read);
        }
        if (stored)
            ReadDriverDesc(DriverName(check.index).c_str(), description);
        size_t at = 0;
        while (at < sizeof(want) && description[at] == want[at])
            ++at;
        const bool ok = stored && at == sizeof(want);
        Check(ok, std::string(check.name) +
                      (ok ? "" : stored ? ": byte " + std::to_string(at) + " differs" : ": setup failed"));
    }
}

}  // namespace

int main()
{
    Win32Registry registry;
    ActiveRegistry = &registry;
    const std::pair<const char*, void (*)(HKEY)> parts[] = {{kClassPath, CheckReadDriverDesc},
                                                           {kUsbPath, CheckFindPnpInstanceId}};
    for (const auto& [path, check] : parts) {
        HKEY key = CreateKey(HKEY_LOCAL_MACHINE, path);
        Check(key != nullptr, std::string("setup: ") + path);
        if (key) {
            check(key);
            RegCloseKey(key);
        }
    }
    return CheckSummary("registry lookups");
}
