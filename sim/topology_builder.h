// Builders for simulated PCs in code, for the tests and the refresh benchmark.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_registry.h"
#include "sim/sim_topology.h"

namespace topology_builder {

inline std::vector<uint8_t> DeviceDescriptor(uint16_t vendor, uint16_t product, uint8_t iManufacturer = 0,
                                             uint8_t iProduct = 0, uint8_t iSerial = 0, uint8_t deviceClass = 0)
{
    return {18, 1, 0x00, 0x02, deviceClass, 0, 0, 64,
            static_cast<uint8_t>(vendor & 0xFF), static_cast<uint8_t>(vendor >> 8),
            static_cast<uint8_t>(product & 0xFF), static_cast<uint8_t>(product >> 8),
            0x00, 0x01, iManufacturer, iProduct, iSerial, 1};
}

// A configuration descriptor set: the configuration descriptor with the
// right wTotalLength, followed by the given descriptors.
inline std::vector<uint8_t> ConfigSet(const std::vector<std::vector<uint8_t>>& body, uint8_t iConfiguration = 0,
                                      uint8_t interfaces = 1)
{
    std::vector<uint8_t> set = {9, 2, 0, 0, interfaces, 1, iConfiguration, 0x80, 50};
    for (const auto& descriptor : body)
        set.insert(set.end(), descriptor.begin(), descriptor.end());
    set[2] = static_cast<uint8_t>(set.size() & 0xFF);
    set[3] = static_cast<uint8_t>(set.size() >> 8);
    return set;
}

inline std::vector<uint8_t> Interface(uint8_t number, uint8_t endpoints, uint8_t interfaceClass, uint8_t iInterface = 0,
                                      uint8_t alternate = 0)
{
    return {9, 4, number, alternate, endpoints, interfaceClass, 0, 0, iInterface};
}

// bmAttributes: 0 control, 1 isochronous, 2 bulk, 3 interrupt.
inline std::vector<uint8_t> Endpoint(uint8_t address, uint8_t attributes, uint16_t maxPacket = 64, uint8_t interval = 0)
{
    return {7, 5, address, attributes, static_cast<uint8_t>(maxPacket & 0xFF), static_cast<uint8_t>(maxPacket >> 8),
            interval};
}

inline SimPort EmptyPort(uint32_t number)
{
    SimPort port;
    port.port = number;
    return port;
}

inline SimPort Device(uint32_t number, uint16_t vendor, uint16_t product, const std::string& driverKey = "",
                      uint8_t speed = 1)
{
    SimPort port;
    port.port = number;
    port.status = 1;
    port.speed = speed;
    port.configValue = 1;
    port.address = static_cast<uint16_t>(number + 1);
    port.deviceDescriptor = DeviceDescriptor(vendor, product);
    port.configDescriptors = {ConfigSet({Interface(0, 1, 3), Endpoint(0x81, 3, 8, 10)})};
    if (!driverKey.empty())
        port.driverKey = std::u16string(driverKey.begin(), driverKey.end());
    return port;
}

inline std::unique_ptr<SimHub> Hub(const std::string& name, uint32_t portCount, std::vector<SimPort> ports = {})
{
    auto hub = std::make_unique<SimHub>();
    hub->name = std::u16string(name.begin(), name.end());
    hub->portCount = portCount;
    hub->ports = std::move(ports);
    return hub;
}

inline SimPort HubPort(uint32_t number, std::unique_ptr<SimHub> hub, const std::string& driverKey = "")
{
    SimPort port = Device(number, 0x05E3, 0x0610, driverKey, 2);
    port.isHub = true;
    port.deviceDescriptor = DeviceDescriptor(0x05E3, 0x0610, 0, 1, 0, 9);
    port.configDescriptors = {ConfigSet({Interface(0, 1, 9), Endpoint(0x81, 3, 1, 12)})};
    port.hub = std::move(hub);
    return port;
}

// The ports as a list; SimPort moves only.
template <typename... P>
std::vector<SimPort> Ports(P... ports)
{
    std::vector<SimPort> list;
    (list.push_back(std::move(ports)), ...);
    return list;
}

// port after change(port): for a port that differs in a field or two.
template <typename Change>
SimPort With(SimPort port, Change change)
{
    change(port);
    return port;
}

inline SimController ControllerWith(const std::string& description, std::unique_ptr<SimHub> rootHub)
{
    SimController controller;
    controller.description = description;
    controller.rootHub = std::move(rootHub);
    return controller;
}

// One controller "HC" whose root hub has the ports (portCount 0: as many
// as given).
inline SimTopology OneController(std::vector<SimPort> ports, uint32_t portCount = 0,
                                 const std::string& rootHubName = "ROOT")
{
    SimTopology topology;
    if (portCount == 0)
        portCount = static_cast<uint32_t>(ports.size());
    topology.controllers.push_back(ControllerWith("HC", Hub(rootHubName, portCount, std::move(ports))));
    return topology;
}

// Registers a driver key: its description under the Class key and, when
// instancePath is given ("VID_...\\inst"), the instance naming it.
inline void AddDriver(SimTopology& topology, const std::string& driverKey, const std::string& description,
                      const std::string& instancePath = "")
{
    if (!description.empty()) {
        auto& key = SimRegistryPath(topology.localMachine, "System\\CurrentControlSet\\Control\\Class\\" + driverKey);
        key.values["DriverDesc"] = SimTextValue(description);
    }
    if (!instancePath.empty()) {
        auto& key = SimRegistryPath(topology.localMachine, "System\\CurrentControlSet\\Enum\\USB\\" + instancePath);
        key.values["Driver"] = SimTextValue(driverKey);
    }
}

}  // namespace topology_builder
