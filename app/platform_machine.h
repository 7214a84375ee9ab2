// The machine's own USB stack, registry and ANSI code page behind their
// seams: what Portolan.exe and PortolanBericht.exe both scan with.
#pragma once

void InstallMachinePlatform();
