// Runs ReadDriverDesc and FindPnpInstanceId through Win32Registry against
// keys this program makes in the registry it runs on: a class key
// Control\Class\{kClassGuid} and device keys "VID_FFF0&PID_..." below
// Enum\USB. Meant for a throw-away Wine prefix; it removes what it made.
//
// Prints one line per check (PASS, FAIL or SKIP with the name) and a summary
// line; the exit code is 1 when a check failed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tree/registry_lookup.h"
#include "tree/registry_platform.h"
#include "tree/win32_registry.h"
#include "usb/zeroed_alloc.h"

// ntdll: deletes the key of the handle itself, also a link key, which
// RegDeleteKey would follow.
extern "C" LONG NTAPI NtDeleteKey(HANDLE key);

namespace {

constexpr char kClassPath[] = "System\\CurrentControlSet\\Control\\Class";
constexpr char kUsbPath[] = "System\\CurrentControlSet\\Enum\\USB";
constexpr char kClassGuid[] = "{5F3A9C2E-7B41-4D8A-9E06-C1D2B3A4F5E6}";
constexpr char kDevicePrefix[] = "VID_FFF0&PID_";
// Target of the link keys; never created.
constexpr wchar_t kLinkTarget[] =
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{5F3A9C2E-7B41-4D8A-9E06-C1D2B3A4F5E6}\\None";

int passed = 0;
int failed = 0;
int skipped = 0;

void Pass(const std::string& name)
{
    printf("PASS %s\n", name.c_str());
    ++passed;
}

void Fail(const std::string& name, const std::string& detail)
{
    printf("FAIL %s: %s\n", name.c_str(), detail.c_str());
    ++failed;
}

void Skip(const std::string& name, const std::string& reason)
{
    printf("SKIP %s: %s\n", name.c_str(), reason.c_str());
    ++skipped;
}

void Info(const std::string& text)
{
    printf("INFO %s\n", text.c_str());
}

std::string DriverName(const char* index)
{
    return std::string(kClassGuid) + "\\" + index;
}

// count letters, varied so that a shifted or cut copy differs.
std::string Text(size_t count, char seed)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<char>('A' + (static_cast<size_t>(seed) + i * 7) % 26);
    return text;
}

// Name of length characters starting with the device prefix and tag.
std::string LongName(const std::string& tag, size_t length)
{
    std::string name = kDevicePrefix + tag + "&";
    while (name.size() < length)
        name += static_cast<char>('0' + name.size() % 10);
    return name;
}

std::string Show(const std::optional<std::string>& text)
{
    return text ? "\"" + *text + "\"" : "null";
}

Win32Registry win32Registry;

std::optional<std::string> Find(const std::string& driverKeyName)
{
    char* id = FindPnpInstanceId(driverKeyName.c_str());
    if (!id)
        return std::nullopt;
    std::string text = id;
    ReleaseBuffer(id);
    return text;
}

void ReadDesc(const std::string& driverKeyName, char* description)
{
    ReadDriverDesc(driverKeyName.c_str(), description);
}

void Expect(const std::string& name, const std::optional<std::string>& actual, const std::optional<std::string>& expected)
{
    if (actual == expected)
        Pass(name);
    else
        Fail(name, "got " + Show(actual) + ", expected " + Show(expected));
}

bool SetDacl(HKEY key, bool denyAll)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL acl;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !InitializeAcl(&acl, sizeof(acl), ACL_REVISION))
        return false;
    // An empty DACL grants nothing; a null DACL grants everything.
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, denyAll ? &acl : nullptr, FALSE))
        return false;
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
}

// Opens name below parent for deleting it, without following a link; a key
// whose DACL denies that gets a null DACL first (its owner may set it).
HKEY OpenForRemoval(HKEY parent, const char* name)
{
    const REGSAM access = KEY_ENUMERATE_SUB_KEYS | DELETE;
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, &key);
    if (result == ERROR_ACCESS_DENIED) {
        HKEY guarded = nullptr;
        if (RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, WRITE_DAC, &guarded) != ERROR_SUCCESS)
            return nullptr;
        bool opened = SetDacl(guarded, false);
        RegCloseKey(guarded);
        if (!opened)
            return nullptr;
        result = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, &key);
    }
    return result == ERROR_SUCCESS ? key : nullptr;
}

bool RemoveTree(HKEY parent, const char* name)
{
    HKEY key = OpenForRemoval(parent, name);
    if (!key)
        return false;
    char child[256];
    bool removed = true;
    while (removed && RegEnumKeyA(key, 0, child, sizeof(child)) == ERROR_SUCCESS)
        removed = RemoveTree(key, child);
    if (removed)
        removed = NtDeleteKey(key) >= 0;
    RegCloseKey(key);
    return removed;
}

bool KeyExists(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(parent, path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &key);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    // A key that denies the query exists too.
    return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
}

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    return names;
}

bool StartsWithPrefix(const std::string& name)
{
    return _strnicmp(name.c_str(), kDevicePrefix, strlen(kDevicePrefix)) == 0;
}

HKEY CreateKey(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// A REG_SZ of text with its terminator, or, with terminated false, the bytes
// of text alone; the byte after them is no terminator either, so that the
// platform cannot count one in.
bool SetString(HKEY key, const char* valueName, const std::string& text, bool terminated = true)
{
    std::string bytes = text + (terminated ? '\0' : '#');
    const DWORD size = static_cast<DWORD>(terminated ? bytes.size() : text.size());
    return RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), size) ==
           ERROR_SUCCESS;
}

// True when the value is stored as exactly text's bytes with no terminator.
bool StoredWithoutTerminator(HKEY key, const char* valueName, const std::string& text)
{
    char buffer[512] = {};
    DWORD size = sizeof(buffer);
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    return size == text.size() && memcmp(buffer, text.data(), size) == 0;
}

// Device and instance keys below Enum\USB for one check; removed again when
// it goes out of scope.
class UsbKeys {
public:
    explicit UsbKeys(HKEY usb) : usb_(usb) {}
    ~UsbKeys()
    {
        for (auto it = devices_.rbegin(); it != devices_.rend(); ++it)
            if (!RemoveTree(usb_, it->c_str()))
                Info("could not remove Enum\\USB\\" + *it);
    }
    UsbKeys(const UsbKeys&) = delete;
    UsbKeys& operator=(const UsbKeys&) = delete;

    // Instance key with a "Driver" value.
    void Instance(const std::string& device, const std::string& instance, const std::string& driver)
    {
        HKEY key = Create(device + "\\" + instance);
        if (key && !SetString(key, "Driver", driver))
            Broken("cannot set Driver of " + device + "\\" + instance);
        if (key)
            RegCloseKey(key);
    }
    // Instance key whose "Driver" holds driver without terminator; false when
    // the platform stored one anyway.
    bool InstanceWithUnterminatedDriver(const std::string& device, const std::string& instance,
                                        const std::string& driver)
    {
        HKEY key = Create(device + "\\" + instance);
        if (!key)
            return false;
        if (!SetString(key, "Driver", driver, false))
            Broken("cannot set Driver of " + device + "\\" + instance);
        bool stored = StoredWithoutTerminator(key, "Driver", driver);
        RegCloseKey(key);
        return stored;
    }
    // A link key at path (device or device\instance) whose target does not
    // exist: it is listed by its parent, but opening it fails. False when
    // the platform has no link keys.
    bool DanglingLink(const std::string& path)
    {
        Remember(path);
        HKEY key = nullptr;
        if (RegCreateKeyExA(usb_, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        // The target as a counted string, without terminator.
        LONG result = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(kLinkTarget),
                                     static_cast<DWORD>(wcslen(kLinkTarget) * sizeof(wchar_t)));
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return false;
        HKEY followed = nullptr;
        if (RegOpenKeyA(usb_, path.c_str(), &followed) == ERROR_SUCCESS) {
            RegCloseKey(followed);
            return false;
        }
        return true;
    }
    // Gives the device key an empty DACL. Returns what the platform does
    // with it: "open" when RegOpenKeyA is denied, "list" when RegOpenKeyA
    // still opens it (the owner's implicit rights) but listing its subkeys
    // is denied, empty when nothing is denied.
    std::string DenyAll(const std::string& device)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(usb_, device.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) {
            Broken("cannot open " + device + " for WRITE_DAC");
            return "";
        }
        bool set = SetDacl(key, true);
        RegCloseKey(key);
        if (!set) {
            Broken("cannot set the DACL of " + device);
            return "";
        }
        HKEY opened = nullptr;
        if (RegOpenKeyA(usb_, device.c_str(), &opened) != ERROR_SUCCESS)
            return "open";
        char name[256];
        LONG listed = RegEnumKeyA(opened, 0, name, sizeof(name));
        RegCloseKey(opened);
        return listed == ERROR_ACCESS_DENIED ? "list" : "";
    }

    // Empty when every key was made as asked.
    const std::string& Problem() const { return problem_; }

private:
    void Remember(const std::string& path)
    {
        std::string device = path.substr(0, path.find('\\'));
        if (std::find(devices_.begin(), devices_.end(), device) == devices_.end())
            devices_.push_back(device);
    }
    HKEY Create(const std::string& path)
    {
        Remember(path);
        HKEY key = CreateKey(usb_, path);
        if (!key)
            Broken("cannot create Enum\\USB\\" + path);
        return key;
    }
    void Broken(const std::string& problem)
    {
        if (problem_.empty())
            problem_ = problem;
    }

    HKEY usb_;
    std::vector<std::string> devices_;
    std::string problem_;
};

// Runs the check only when its keys were made.
bool Ready(const std::string& name, const UsbKeys& keys)
{
    if (keys.Problem().empty())
        return true;
    Fail(name, "setup: " + keys.Problem());
    return false;
}

void CheckFindPnpInstanceId(HKEY usb)
{
    const std::string device1 = std::string(kDevicePrefix) + "0001";
    {
        const char name[] = "first of two matching instances of a device key wins";
        UsbKeys keys(usb);
        // Made in reverse: the order is the platform's listing order.
        keys.Instance(device1, "0002", DriverName("0020"));
        keys.Instance(device1, "0001", DriverName("0020"));
        if (Ready(name, keys))
            Expect(name, Find(DriverName("0020")), "USB\\" + device1 + "\\0001");
    }
    {
        const char name[] = "first of two device keys with a matching instance wins";
        UsbKeys keys(usb);
        keys.Instance(std::string(kDevicePrefix) + "0003", "0000", DriverName("0021"));
        keys.Instance(std::string(kDevicePrefix) + "0002", "0000", DriverName("0021"));
        if (Ready(name, keys))
            Expect(name, Find(DriverName("0021")), "USB\\" + std::string(kDevicePrefix) + "0002\\0000");
    }
    {
        const char name[] = "instance whose Driver has no terminator is skipped";
        UsbKeys keys(usb);
        bool unterminated = keys.InstanceWithUnterminatedDriver(device1, "0000", DriverName("0031"));
        keys.Instance(device1, "0001", DriverName("0031"));
        if (!unterminated && keys.Problem().empty())
            Skip(name, "the platform stores a terminator for REG_SZ");
        else if (Ready(name, keys))
            Expect(name, Find(DriverName("0031")), "USB\\" + device1 + "\\0001");
    }
    {
        const char name[] = "instance key that cannot be opened is skipped";
        UsbKeys keys(usb);
        keys.Instance(device1, "0001", DriverName("0032"));
        bool linked = keys.DanglingLink(device1 + "\\0000");
        if (!linked && keys.Problem().empty())
            Skip(name, "the platform makes no dangling link key");
        else if (Ready(name, keys))
            Expect(name, Find(DriverName("0032")), "USB\\" + device1 + "\\0001");
    }
    {
        const char name[] = "device key that cannot be opened is passed over";
        UsbKeys keys(usb);
        const std::string target = std::string(kDevicePrefix) + "0005";
        bool linked = keys.DanglingLink(std::string(kDevicePrefix) + "0004");
        keys.Instance(target, "0000", DriverName("0040"));
        if (!linked && keys.Problem().empty())
            Skip(name, "the platform makes no dangling link key");
        else if (Ready(name, keys))
            Expect(name, Find(DriverName("0040")), "USB\\" + target + "\\0000");
    }
    {
        std::string name = "device key with an empty DACL is passed over";
        UsbKeys keys(usb);
        const std::string guarded = std::string(kDevicePrefix) + "0004";
        const std::string target = std::string(kDevicePrefix) + "0005";
        // The guarded key holds a match of its own: reaching it would show.
        keys.Instance(guarded, "0000", DriverName("0041"));
        keys.Instance(target, "0000", DriverName("0041"));
        std::string denied = keys.Problem().empty() ? keys.DenyAll(guarded) : "";
        if (denied.empty() && keys.Problem().empty()) {
            Skip(name, "the platform enforces no empty DACL");
        } else if (Ready(name, keys)) {
            if (denied == "list")
                name += " (RegOpenKeyA opens it for its owner, RegEnumKeyA is denied)";
            else
                name += " (RegOpenKeyA is denied)";
            Expect(name, Find(DriverName("0041")), "USB\\" + target + "\\0000");
        }
    }
    {
        const char before[] = "match found while no long device key precedes it";
        const char name[] = "device key name of 100 characters before the match ends the search";
        UsbKeys keys(usb);
        const std::string target = std::string(kDevicePrefix) + "0007";
        keys.Instance(target, "0000", DriverName("0051"));
        if (Ready(before, keys))
            Expect(before, Find(DriverName("0051")), "USB\\" + target + "\\0000");
        // Sorts before the target: "...0006&..." < "...0007".
        const std::string device = LongName("0006", 100);
        keys.Instance(device, "0000", DriverName("0052"));
        if (Ready(name, keys))
            Expect(name, Find(DriverName("0051")), std::nullopt);
    }
}

void ExpectBuffer(const std::string& name, const char* actual, const char* expected)
{
    if (memcmp(actual, expected, kDriverDescBytes) == 0) {
        Pass(name);
        return;
    }
    size_t at = 0;
    while (actual[at] == expected[at])
        ++at;
    char detail[160];
    snprintf(detail, sizeof(detail), "byte %u is 0x%02X, expected 0x%02X", static_cast<unsigned>(at),
             static_cast<unsigned char>(actual[at]), static_cast<unsigned char>(expected[at]));
    Fail(name, detail);
}

// A buffer as the caller might have left it: text and leftovers.
void FillEarlier(char* buffer)
{
    memset(buffer, '~', kDriverDescBytes);
    memcpy(buffer, "vorher", 7);
}

void CheckReadDriverDesc(HKEY classKey)
{
    const std::string desc199 = Text(199, 1);
    const std::string desc200 = Text(200, 2);
    const std::string desc255 = Text(255, 3);
    const std::string unterminated = Text(200, 4);

    std::string problem;
    bool unterminatedStored = false;
    auto make = [&](const char* index, const std::string* desc, bool terminated) {
        HKEY key = CreateKey(classKey, index);
        if (!key) {
            problem = std::string("cannot create the class key ") + index;
            return;
        }
        if (!SetString(key, "ProviderName", "Portolan"))
            problem = "cannot set ProviderName";
        if (desc && !SetString(key, "DriverDesc", *desc, terminated))
            problem = "cannot set DriverDesc";
        if (desc && !terminated)
            unterminatedStored = StoredWithoutTerminator(key, "DriverDesc", *desc);
        RegCloseKey(key);
    };
    make("0000", &desc199, true);
    make("0001", &desc200, true);
    make("0002", &desc255, true);
    make("0004", &unterminated, false);

    auto run = [&](const char* name, const char* index, void (*prepare)(char*), const std::string& expected,
                   bool unchanged) {
        if (!problem.empty()) {
            Fail(name, "setup: " + problem);
            return;
        }
        char description[kDriverDescBytes];
        prepare(description);
        char want[kDriverDescBytes];
        if (unchanged) {
            memcpy(want, description, sizeof(want));
        } else {
            memset(want, 0, sizeof(want));
            memcpy(want, expected.data(), std::min(expected.size(), sizeof(want) - 1));
        }
        ReadDesc(DriverName(index), description);
        ExpectBuffer(name, description, want);
    };

    run("DriverDesc of 199 characters is read in full", "0000", FillEarlier, desc199, false);
    run("DriverDesc of 200 characters leaves the buffer as it was", "0001", FillEarlier, "", true);
    run("DriverDesc of 255 characters leaves the buffer as it was", "0002", FillEarlier, "", true);
    if (!unterminatedStored && problem.empty())
        Skip("DriverDesc of 200 characters without terminator is cut to 199",
             "the platform stores a terminator for REG_SZ");
    else
        run("DriverDesc of 200 characters without terminator is cut to 199", "0004", FillEarlier,
            unterminated.substr(0, 199), false);
}

}  // namespace

int main()
{
    ActiveRegistry = &win32Registry;

    HKEY classes = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassPath, 0, KEY_ALL_ACCESS, &classes) != ERROR_SUCCESS) {
        Fail("setup", std::string("cannot open HKLM\\") + kClassPath);
        printf("registry lookups: %d passed, %d failed, %d skipped\n", passed, failed, skipped);
        return 1;
    }
    bool classKeyExisted = KeyExists(classes, kClassGuid);
    HKEY usb = nullptr;
    DWORD disposition = 0;
    LONG usbResult = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUsbPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &usb,
                                     &disposition);

    // FindPnpInstanceId lists all of Enum\USB: keys already there come first
    // when they sort before the prefix, and one of 100+ characters among them
    // would end every search before the test keys.
    std::string blocker;
    std::vector<std::string> present;
    if (usbResult == ERROR_SUCCESS) {
        present = SubkeyNames(usb);
        if (disposition == REG_CREATED_NEW_KEY)
            Info("Enum\\USB did not exist in this registry; made it");
        else
            Info("Enum\\USB already holds " + std::to_string(present.size()) + " device keys");
        for (const std::string& name : present) {
            if (StartsWithPrefix(name))
                blocker = "Enum\\USB already holds " + name;
            else if (name.size() >= 100 && _stricmp(name.c_str(), kDevicePrefix) < 0)
                blocker = "Enum\\USB holds a key of 100+ characters before the test keys: " + name;
        }
    }

    if (classKeyExisted) {
        Fail("setup", std::string("Control\\Class\\") + kClassGuid + " exists already");
    } else {
        HKEY classKey = CreateKey(classes, kClassGuid);
        if (!classKey) {
            Fail("setup", std::string("cannot create Control\\Class\\") + kClassGuid);
        } else {
            CheckReadDriverDesc(classKey);
            RegCloseKey(classKey);
        }
    }
    if (usbResult != ERROR_SUCCESS)
        Fail("setup", std::string("cannot open or create HKLM\\") + kUsbPath);
    else if (!blocker.empty())
        Fail("setup", blocker);
    else
        CheckFindPnpInstanceId(usb);

    // Remove what this program made, then look whether it is gone.
    {
        std::string left;
        if (!classKeyExisted && KeyExists(classes, kClassGuid) && !RemoveTree(classes, kClassGuid))
            left = std::string("Control\\Class\\") + kClassGuid;
        if (usbResult == ERROR_SUCCESS) {
            for (const std::string& name : SubkeyNames(usb)) {
                bool ours = StartsWithPrefix(name) &&
                            std::find(present.begin(), present.end(), name) == present.end();
                if (ours && !RemoveTree(usb, name.c_str()) && left.empty())
                    left = "Enum\\USB\\" + name;
            }
            RegCloseKey(usb);
            // Only an Enum\USB this program made, and only when empty again.
            if (disposition == REG_CREATED_NEW_KEY && RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUsbPath) != ERROR_SUCCESS &&
                left.empty())
                left = "Enum\\USB";
        }
        if (left.empty() && !classKeyExisted && KeyExists(classes, kClassGuid))
            left = std::string("Control\\Class\\") + kClassGuid;
        if (left.empty() && disposition == REG_CREATED_NEW_KEY && KeyExists(HKEY_LOCAL_MACHINE, kUsbPath))
            left = "Enum\\USB";
        if (left.empty())
            Pass("test keys removed");
        else
            Fail("test keys removed", left + " is left");
    }
    RegCloseKey(classes);

    printf("registry lookups: %d passed, %d failed, %d skipped\n", passed, failed, skipped);
    fflush(stdout);
    return failed == 0 ? 0 : 1;
}
