// The Win32 side of the shell's seams: check marks, about box, notification
// registrations, ending the dialog; the process operations of start-up; and
// the property panel's dialog controls.
#pragma once

#include <windows.h>

#include "app/shell_platform.h"
#include "app/wow64_handover.h"
#include "assess/property_panel.h"

// The temporary folder becomes the current directory: no library may ever
// be loaded from it. System libraries come from System32 only, and the
// current directory leaves the legacy search order too.
void RestrictLibrarySearch();

class Win32Shell : public ShellPlatform {
public:
    bool SetMenuCheck(int command, bool checked) override;
    void ShowAboutBox() override;
    void UnregisterNotifications() override;
    void PostQuit(int exitCode) override;
    void EndMainDialog(int result) override;
    void Beep(uint32_t type) override;
};

class Win32Process : public ProcessPlatform {
public:
    void* LoadLibraryByName(const char* name) override;
    void* FindProcedure(void* module, const char* name) override;
    bool CallIsWow64Process(void* procedure, int* wow64) override;
    void FreeLibraryModule(void* module) override;
    intptr_t ShellOpen(const char* file, const char* parameters) override;
};

class Win32Panel : public PropertyPanel {
public:
    void Attach(HWND dialog) { dialog_ = dialog; }
    void SetFieldText(int control, const char* text) override;
    void SetCheck(int control, bool checked) override;
    bool IsChecked(int control) override;
    void SetBarPosition(int control, int position) override;

private:
    HWND dialog_ = nullptr;
};
