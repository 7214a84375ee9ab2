// The device tree held in memory as JSON, and the simulated platform's
// request counters, for tools and tests.
#pragma once

#include <string>

#include "tree/memory_tree.h"

class SimSession;

// {"status": ..., "items": [{"depth", "label", "image", "kind"}, ...]} in the
// order shown; with a session also "requests": the platform requests it
// counted.
std::string TreeAsJson(const MemoryTree& tree, const std::string& status, const SimSession* statsOrNull);

// The request counters as text lines, for the text output.
std::string RequestsAsText(const SimSession& session);
