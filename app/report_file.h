// PortolanBericht.exe's work over Win32: the scan of this machine into a tree
// held in memory, the header's facts, and the file written whole or not at
// all.
#pragma once

#include <string>

// Installs the machine's USB stack, registry and code page and an in-memory
// tree, status line and panel.
void InstallReportPlatform();

// Header and body of the report of one scan, unused ports and controllers
// shown; the tree is cleared again afterwards.
std::string ScanReportText();

// Writes bytes to path through a temporary file in the same folder that
// replaces path once it is complete. False, with the platform's reason and
// no file left behind, when it cannot.
bool WriteReportFile(const std::wstring& path, const std::string& bytes, std::wstring* reason);

// "Portolan-Bericht.txt" in the user's Documents folder; empty when the
// folder is unknown.
std::wstring DefaultReportPath();
