#include "sim/sim_registry.h"

#include <cstring>
#include <sstream>
#include <vector>
#include <strings.h>

#include "tree/ascii_case.h"

namespace {

// RegOpenKeyA opens with MAXIMUM_ALLOWED, which grants reading here.
constexpr uint32_t kMaximumAllowed = 0x02000000;

bool SameName(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

SimRegistryKey* FindSubkey(SimRegistryKey& key, const std::string& name)
{
    for (auto& sub : key.subkeys)
        if (SameName(sub->name, name.c_str()))
            return sub.get();
    return nullptr;
}

// The names of a path's parts; empty ones (doubled or edge backslashes) left out.
std::vector<std::string> PathParts(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream stream(path);
    for (std::string part; std::getline(stream, part, '\\');)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

}  // namespace

SimRegistryKey& SimRegistryPath(SimRegistryKey& root, const std::string& path)
{
    SimRegistryKey* key = &root;
    for (const std::string& part : PathParts(path)) {
        SimRegistryKey* sub = FindSubkey(*key, part);
        if (!sub) {
            key->subkeys.push_back(std::make_unique<SimRegistryKey>());
            sub = key->subkeys.back().get();
            sub->name = part;
        }
        key = sub;
    }
    return *key;
}

SimRegistryValue SimTextValue(const std::string& text)
{
    SimRegistryValue value(text.begin(), text.end());
    value.push_back(0);
    return value;
}

SimRegistry::SimRegistry(SimTopology& topology) : topology_(topology) {}

SimRegistry::~SimRegistry() = default;

SimRegistryKey* SimRegistry::Resolve(RegistryKey key, uint32_t rights)
{
    if (key == LocalMachineKey())
        return &topology_.localMachine;
    if (key == ClassesRootKey())
        return &topology_.classesRoot;
    auto found = open_.find(key);
    if (found == open_.end() || (found->second.access & rights) != rights)
        return nullptr;
    return found->second.key;
}

SimRegistryKey* SimRegistry::Subkey(SimRegistryKey& key, const std::string& name)
{
    SubkeyIndex& index = indexes_[&key];
    if (index.count != key.subkeys.size()) {
        index.byName.clear();
        // The first of equal names wins, as a linear search would find it.
        for (auto it = key.subkeys.rbegin(); it != key.subkeys.rend(); ++it)
            index.byName[FoldedAsciiCase((*it)->name)] = it->get();
        index.count = key.subkeys.size();
    }
    auto found = index.byName.find(FoldedAsciiCase(name));
    return found == index.byName.end() ? nullptr : found->second;
}

RegistryKey SimRegistry::OpenKey(RegistryKey parent, const char* path)
{
    return OpenKeyEx(parent, path, kMaximumAllowed);
}

RegistryKey SimRegistry::OpenKeyEx(RegistryKey parent, const char* path, uint32_t access)
{
    ++calls_;
    lastAccess_ = access;
    ++opens_;
    SimRegistryKey* key = Resolve(parent);
    if (!key || !path)
        return nullptr;
    // RegOpenKey takes the path's parts one by one; every part must exist.
    for (const std::string& part : PathParts(path)) {
        key = Subkey(*key, part);
        if (!key || !key->openable)
            return nullptr;
    }
    RegistryKey handle = reinterpret_cast<RegistryKey>(nextHandle_);
    nextHandle_ += 4;
    open_[handle] = {key, access == kMaximumAllowed ? kKeyRead : access};
    return handle;
}

bool SimRegistry::EnumKey(RegistryKey key, uint32_t index, char* name, uint32_t capacity)
{
    ++calls_;
    SimRegistryKey* sim = Resolve(key, kKeyEnumerateSubKeys);
    if (!sim || index >= sim->subkeys.size())
        return false;
    const std::string& subName = sim->subkeys[index]->name;
    if (subName.size() + 1 > capacity)
        return false;
    memcpy(name, subName.c_str(), subName.size() + 1);
    return true;
}

bool SimRegistry::QueryValue(RegistryKey key, const char* valueName, void* buffer, uint32_t* size)
{
    ++calls_;
    SimRegistryKey* sim = Resolve(key, kKeyQueryValue);
    if (!sim)
        return false;
    for (auto& [name, value] : sim->values) {
        if (!SameName(name, valueName))
            continue;
        // ERROR_MORE_DATA: the size needed is reported, the buffer's content
        // is not to be relied on; scribble on it as the platform may.
        if (value.size() > *size) {
            memset(buffer, 'X', *size);
            *size = static_cast<uint32_t>(value.size());
            return false;
        }
        memcpy(buffer, value.data(), value.size());
        *size = static_cast<uint32_t>(value.size());
        return true;
    }
    return false;
}

void SimRegistry::CloseKey(RegistryKey key)
{
    ++calls_;
    open_.erase(key);
}
