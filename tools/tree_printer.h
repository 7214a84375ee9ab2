// The device tree held in memory as text or JSON, for tools and tests.
#pragma once

#include <string>

#include "sim/memory_tree.h"

class SimSession;

// One line per item, two blanks per depth: "label [image]"; then
// "Status: <status>". Labels and status are code page 1252, printed as UTF-8.
std::string TreeAsText(const MemoryTree& tree, const std::string& status);

// {"status": ..., "items": [{"depth", "label", "image", "kind"}, ...]} in the
// order shown; with a session also "requests": the platform requests it
// counted.
std::string TreeAsJson(const MemoryTree& tree, const std::string& status, const SimSession* statsOrNull);

// The request counters as text lines, for the text output.
std::string RequestsAsText(const SimSession& session);
