// The support report: the device tree with every item's panel and advice
// topic as text, and the file that holds it.
#pragma once

#include <string>

#include "assess/memory_panel.h"
#include "tree/memory_tree.h"
#include "tree/tree_node_info.h"
#include "usb/wide_char.h"

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(const WideChar* text, size_t units);
// Text in the ANSI code page (up to a NUL) as UTF-8, through ActiveCodePage.
std::string AnsiToUtf8(const std::string& ansi);

// The record of an item that stands for an external hub or a device on a
// port; null for the others.
const TreeNodeInfo* DeviceRecordOf(const MemoryTree::Item& item);

// Fills panel as selecting the record fills the main window's panel, the
// advice window left alone; returns the advice topic.
int ReadPanelOf(const TreeNodeInfo* record, MemoryPanel* panel);

// One line per item, two blanks per depth: "label [image]", below a device
// its panel and topic; then "Status: <status>". Labels and status are in the
// ANSI code page; the text is UTF-8.
std::string ReportBody(const MemoryTree& tree, const std::string& status);

// What the report's header states about the run.
struct ReportFacts {
    std::string created;  // local date and time, "09.12.2026 14:03:11"
    std::string windows;  // "Windows 11 (10.0.22631)"
    bool windows64 = false;
    int programBits = 0;
};

std::string ReportHeader(const ReportFacts& facts);

// The file's bytes: a UTF-8 byte-order mark, then the text with CRLF line ends.
std::string ReportFileBytes(const std::string& text);

// "Windows 10 (10.0.19045)": builds from 22000 on are Windows 11; 6.1 to
// 6.3 are Windows 7, 8 and 8.1.
std::string WindowsName(unsigned major, unsigned minor, unsigned build);
