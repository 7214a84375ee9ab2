// The registry lookups' shared cases (tests/support/registry_cases.h)
// through Win32Registry against keys this program makes in a throw-away
// Wine prefix, made in reverse order. The keys stay, so each case gets names
// of its own: a number in front of its device keys (in place of the first
// two letters of a long one) and in its driver key names. Prints PASS, FAIL
// or SKIP lines and a summary.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "sim/wine/locked_key.h"
#include "tests/support/registry_cases.h"
#include "tests/windows/check_lines.h"
#include "tree/registry_platform.h"
#include "tree/win32_registry.h"
#include "usb/zeroed_alloc.h"

using namespace registry_cases;

namespace {

constexpr char kEnum[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kClass[] = "System\\CurrentControlSet\\Control\\Class\\";

// Case `number`'s driver key names: the last two digits of the GUID in kDriverKey.
std::string OfCase(std::string text, int number)
{
    const size_t length = strlen(kDriverKey);
    for (size_t at = 0; at + length <= text.size(); ++at)
        if (_strnicmp(text.c_str() + at, kDriverKey, length) == 0) {
            text[at + 35] = static_cast<char>('0' + number / 10);
            text[at + 36] = static_cast<char>('0' + number % 10);
        }
    return text;
}

// "DEVICE\INSTANCE" with case `number`'s device key name.
std::string DeviceOfCase(const std::string& path, int number)
{
    const std::string prefix = {static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10)};
    const size_t device = path.find('\\');
    return device > 10 ? prefix + path.substr(2) : prefix + path;
}

// Makes the key as the case says. Empty when made as asked, "skip" when the
// platform stores a terminator the case must not have, else what failed.
std::string MakeKey(const std::string& path, Make make, const char* value, const std::string& text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return "cannot create " + path;
    const std::string bytes = text + (make == Make::Unterminated ? '#' : '\0');
    const DWORD size = static_cast<DWORD>(make == Make::Unterminated ? text.size() : bytes.size());
    const char* name = make == Make::OtherName ? "Other" : value;
    char stored[512] = {};
    DWORD storedSize = sizeof(stored);
    const bool asked =
        make == Make::Missing ||
        (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), size) == ERROR_SUCCESS &&
         RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &storedSize) == ERROR_SUCCESS &&
         storedSize == size && memcmp(stored, bytes.data(), size) == 0);
    RegCloseKey(key);
    if (make == Make::Locked)
        LockKey(HKEY_LOCAL_MACHINE, path);
    if (make == Make::LockedParent)
        LockKey(HKEY_LOCAL_MACHINE, path.substr(0, path.rfind('\\')));
    return asked ? "" : make == Make::Unterminated ? "skip" : "cannot set " + std::string(name);
}

// Prints the case's line: PASS or FAIL, or SKIP when the platform cannot make its keys.
void Report(const char* what, const std::string& problem, bool ok, const std::string& got)
{
    if (problem == "skip")
        Skip(std::string(what) + ": the platform stores a terminator for REG_SZ");
    else
        Check(problem.empty() && ok, std::string(what) + (problem.empty() ? got : ": setup: " + problem));
}

}  // namespace

int main()
{
    Win32Registry registry;
    ActiveRegistry = &registry;
    int number = 0;
    for (const InstanceIdCase& c : InstanceIdCases()) {
        ++number;
        std::string problem;
        // Made last to first: the registry lists them sorted whatever the order.
        for (auto key = c.keys.rbegin(); key != c.keys.rend() && problem.empty(); ++key)
            problem = MakeKey(kEnum + DeviceOfCase(key->path, number), key->make, "Driver", OfCase(key->driver, number));
        char* id = problem.empty() ? FindPnpInstanceId(OfCase(c.find, number).c_str()) : nullptr;
        const std::string got = id ? id : "";
        ReleaseBuffer(id);
        const std::string expected = c.expected.empty() ? "" : "USB\\" + DeviceOfCase(c.expected.substr(4), number);
        Report(c.what, problem, got == expected, ": got \"" + got + "\"");
    }
    for (const DescriptionCase& c : DescriptionCases()) {
        ++number;
        const std::string key = OfCase(c.key, number);
        const std::string problem = MakeKey(kClass + key, c.make, "DriverDesc", c.text);
        std::string buffer = BufferBefore();
        if (problem.empty())
            ReadDriverDesc(key.c_str(), buffer.data());
        const std::string want = BufferAfter(c);
        size_t at = 0;
        while (at < want.size() && buffer[at] == want[at])
            ++at;
        Report(c.what, problem, at == want.size(), at == want.size() ? "" : ": byte " + std::to_string(at) + " differs");
    }
    return CheckSummary("registry lookups");
}
