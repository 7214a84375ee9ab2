// Menu and accelerator command IDs shared with the resource templates.
#pragma once

#include <cstdint>

#include "res/resource_ids.h"

enum MenuCommand : int {
    CommandExit = IDM_EXIT,
    CommandRefresh = IDM_REFRESH,
    CommandAutoRefresh = IDM_AUTO_REFRESH,
    CommandAbout = IDM_ABOUT,
    CommandUnusedPorts = IDM_UNUSED_PORTS,
    CommandUnusedControllers = IDM_UNUSED_CONTROLLERS,
    CommandAdviceWindow = IDM_ADVICE_WINDOW,
    CommandCyclePort = IDM_CYCLE_PORT,
};

constexpr int kFirstCommand = 40001;
constexpr int kLastCommand = 40014;

// Device-change events that rebuild the tree.
constexpr uint32_t kDeviceArrival = 0x8000;          // DBT_DEVICEARRIVAL
constexpr uint32_t kDeviceRemoveComplete = 0x8004;   // DBT_DEVICEREMOVECOMPLETE
constexpr uint32_t kIconHandBeep = 0x10;             // MB_ICONHAND
