// Rebuilds the device tree from the live USB stack.
#pragma once

#include <cstdint>

#include "tree/device_tree.h"
#include "usb/usb_platform.h"

extern int32_t HubCount;
extern int32_t DeviceCount;
extern int ShowUnusedPorts;
extern int ShowUnusedControllers;

void RefreshTree();
void ScanAllControllers(TreeItem rootItem);
void AddControllerNode(TreeItem parent, DeviceHandle controller, const char* description);
void ScanHub(TreeItem parent, char* hubName, USB_NODE_CONNECTION_INFORMATION_EX* connectionInfo,
             ConfigRequestBuffer* configRequest, StringDescNode* stringList, const char* description);
void ScanHubPorts(TreeItem hubItem, DeviceHandle hub, uint8_t portCount);
