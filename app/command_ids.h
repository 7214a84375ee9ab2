// Menu and accelerator command IDs shared with the resource templates.
#pragma once

#include <cstdint>

enum MenuCommand : int {
    CommandExit = 40001,
    CommandRefresh = 40002,
    CommandAutoRefresh = 40003,
    CommandAbout = 40005,
    CommandUnusedPorts = 40008,
    CommandUnusedControllers = 40010,
    CommandAdviceWindow = 40013,
    CommandCyclePort = 40014,
};

constexpr int kFirstCommand = 40001;
constexpr int kLastCommand = 40014;

// Device-change events that rebuild the tree.
constexpr uint32_t kDeviceArrival = 0x8000;          // DBT_DEVICEARRIVAL
constexpr uint32_t kDeviceRemoveComplete = 0x8004;   // DBT_DEVICEREMOVECOMPLETE
constexpr uint32_t kIconHandBeep = 0x10;             // MB_ICONHAND
