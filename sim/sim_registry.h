// A registry key tree in memory behind the four registry operations.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "sim/sim_topology.h"
#include "tree/registry_platform.h"

class SimRegistry : public RegistryPlatform {
public:
    explicit SimRegistry(SimTopology& topology);
    ~SimRegistry() override;

    RegistryKey OpenKey(RegistryKey parent, const char* path) override;
    // Keeps the access rights: a key opened without KEY_QUERY_VALUE reads no
    // value, one without KEY_ENUMERATE_SUB_KEYS lists no subkey.
    RegistryKey OpenKeyEx(RegistryKey parent, const char* path, uint32_t access) override;
    bool EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity) override;
    bool QueryValue(RegistryKey key, const char* valueName, void* buffer, uint32_t* size) override;
    void CloseKey(RegistryKey key) override;

    uint64_t Calls() const { return calls_; }
    uint64_t Opens() const { return opens_; }
    size_t OpenKeys() const { return open_.size(); }
    // The access rights of the last open; RegOpenKeyA asks for MAXIMUM_ALLOWED.
    uint32_t LastOpenAccess() const { return lastAccess_; }
    void ResetCounters() { calls_ = 0; opens_ = 0; }

private:
    // The key behind a handle, if it was opened with all of `rights`.
    SimRegistryKey* Resolve(RegistryKey key, uint32_t rights = 0);
    // A subkey by name, case-insensitively, through an index per key that is
    // rebuilt when the key's subkeys change in number.
    SimRegistryKey* Subkey(SimRegistryKey& key, const std::string& name);

    struct SubkeyIndex {
        size_t count = 0;
        std::unordered_map<std::string, SimRegistryKey*> byName;
    };
    std::unordered_map<const SimRegistryKey*, SubkeyIndex> indexes_;

    SimTopology& topology_;
    struct OpenKeyState {
        SimRegistryKey* key;
        uint32_t access;
    };
    std::map<RegistryKey, OpenKeyState> open_;
    uint32_t lastAccess_ = 0;
    uintptr_t nextHandle_ = 0x1000;
    uint64_t calls_ = 0;
    uint64_t opens_ = 0;
};

// Adds (or finds) the key at a backslash-separated path below root.
SimRegistryKey& SimRegistryPath(SimRegistryKey& root, const std::string& path);
// A text value as the registry stores it: the bytes and a terminator.
SimRegistryValue SimTextValue(const std::string& text);
