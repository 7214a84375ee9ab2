// A simulated PC: host controllers, hubs, ports and devices held in memory,
// with the registry keys their drivers use and the steps that are to fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct SimHub;

// Platform steps of a port that a topology can make fail, by name:
// "connection_ex", "connection", "driver_key_probe", "driver_key",
// "hub_name_probe", "hub_name", "config_probe", "config", "string:I:LANG"
// (I decimal, LANG four hex digits), "cycle_port".
using SimFailures = std::set<std::string>;

struct SimPort {
    uint32_t port = 0;                      // ConnectionIndex
    uint32_t status = 0;                    // ConnectionStatus
    uint8_t speed = 0;
    bool isHub = false;
    uint8_t configValue = 0;
    uint16_t address = 0;
    std::vector<uint8_t> deviceDescriptor;  // 18 bytes, or empty: all zero
    std::vector<std::vector<uint8_t>> configDescriptors;  // whole set per index
    // What the device sends instead on a configuration request that is not
    // the 9-byte probe, when it answers the two requests differently.
    std::optional<std::vector<uint8_t>> configSecondReply;
    std::vector<uint16_t> languages;        // string descriptor 0
    bool hasLanguageList = false;           // languages given (even empty)
    std::map<uint8_t, std::map<uint16_t, std::u16string>> strings;
    std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>> rawStrings;
    std::optional<std::u16string> driverKey;
    std::unique_ptr<SimHub> hub;            // when isHub
    SimFailures fail;
    // Endpoints reported as open pipes: 7-byte endpoint descriptors.
    std::vector<std::vector<uint8_t>> pipes;
};

struct SimHub {
    std::u16string name;
    bool open = true;
    bool nodeQuery = true;
    uint32_t portCount = 0;                 // bNumberOfPorts (low byte used)
    std::vector<SimPort> ports;
};

struct SimController {
    std::optional<std::string> description;
    bool open = true;
    std::unique_ptr<SimHub> rootHub;        // null: no root hub name
    // "enum": the device enumeration fails here, ending it;
    // "interface", "path": the SetupAPI steps before the path is known;
    // "root_hub_name_probe", "root_hub_name": the two name requests.
    SimFailures fail;
    std::string devicePath;                 // generated when empty
};

// One registry value as stored: its bytes (text values with their terminator).
using SimRegistryValue = std::vector<uint8_t>;

struct SimRegistryKey {
    std::string name;
    std::map<std::string, SimRegistryValue> values;   // names compared case-insensitively by the sim
    std::vector<std::unique_ptr<SimRegistryKey>> subkeys;  // in enumeration order
    bool openable = true;
};

struct SimTopology {
    bool controllerSet = true;              // false: no set of host controllers
    // false: the program does not run as administrator, so the hub drivers
    // refuse IOCTL_USB_HUB_CYCLE_PORT (Windows 8 and later).
    bool callerElevated = true;
    std::vector<SimController> controllers;
    SimRegistryKey localMachine;            // HKEY_LOCAL_MACHINE
    SimRegistryKey classesRoot;             // HKEY_CLASSES_ROOT
};
