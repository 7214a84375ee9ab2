#include "tree/win32_registry.h"

#include <windows.h>

#ifdef UNICODE
#error "Portolan calls the ANSI entry points; build without UNICODE."
#endif

namespace {

HKEY AsKey(RegistryKey key)
{
    return static_cast<HKEY>(key);
}

}  // namespace

RegistryKey Win32Registry::OpenKey(RegistryKey parent, const char* path)
{
    HKEY opened = nullptr;
    if (RegOpenKeyA(AsKey(parent), path, &opened) != ERROR_SUCCESS)
        return nullptr;
    return opened;
}

RegistryKey Win32Registry::OpenKeyEx(RegistryKey parent, const char* path, uint32_t access)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(AsKey(parent), path, 0, access, &opened) != ERROR_SUCCESS)
        return nullptr;
    return opened;
}

bool Win32Registry::EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity)
{
    return RegEnumKeyA(AsKey(key), index, name, capacity) == ERROR_SUCCESS;
}

bool Win32Registry::QueryValue(RegistryKey key, const char* valueName, void* buffer, uint32_t* size)
{
    DWORD bytes = *size;
    LONG result = RegQueryValueExA(AsKey(key), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &bytes);
    // Like the platform, the size is reported back also when the value does not fit.
    *size = bytes;
    return result == ERROR_SUCCESS;
}

void Win32Registry::CloseKey(RegistryKey key)
{
    RegCloseKey(AsKey(key));
}
