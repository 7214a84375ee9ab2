// The property panel of the selected tree item and the advice topic it yields.
#pragma once

#include <cstdint>

#include "assess/panel_platform.h"
#include "tree/tree_platform.h"
#include "tree/tree_node_info.h"

extern int AdviceWindowEnabled;

constexpr int kNoDeviceTopic = 100;
// TVN_SELCHANGEDA.
constexpr uint32_t kTreeSelectionChanged = static_cast<uint32_t>(-402);

// A tree notification: the code and the newly selected item. Returns 0.
int OnSelectionChanged(WindowRef dialog, uint32_t notifyCode, TreeItem newItem);
// Fills the panel and returns the advice topic, which it also shows when the
// advice window is on.
int ShowNodeProperties(WindowRef dialog, const TreeNodeInfo* record);

// The speed name for a Speed value; values past the table read as its last entry.
const char* SpeedName(uint8_t speed);
