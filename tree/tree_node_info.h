// The record behind every tree item except the root.
#pragma once

#include <cstdint>

#include "usb/descriptors.h"
#include "usb/usb_records.h"

enum NodeKind : uint32_t {
    Controller = 0,
    RootHub = 1,
    ExternalHub = 2,
    PortDevice = 3,
};

struct TreeNodeInfo {
    uint32_t Kind;
    USB_NODE_INFORMATION* NodeInfo;                      // RootHub, ExternalHub
    char* HubName;                                       // RootHub, ExternalHub
    USB_NODE_CONNECTION_INFORMATION_EX* ConnectionInfo;  // ExternalHub, PortDevice
    ConfigRequestBuffer* ConfigRequest;                  // ExternalHub, PortDevice
    StringDescNode* StringList;                          // ExternalHub, PortDevice
    char* PnpInstanceId;                                 // PortDevice
};

// A Controller record holds the Kind field alone.
constexpr size_t kControllerRecordBytes = sizeof(uint32_t);

// Images of the tree strip.
enum TreeImage : int {
    ImageComputer = 0,
    ImageController = 1,
    ImageHub = 2,
    ImageNoDevice = 3,
    ImageDevice = 4,
    ImageDeviceProblem = 5,
};
