// A window system that records what the menu commands asked of it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/shell_platform.h"

class RecordingShell : public ShellPlatform {
public:
    bool SetMenuCheck(int command, bool checked) override
    {
        log.push_back("check " + std::to_string(command) + " " + (checked ? "1" : "0"));
        if (refuseChecks)
            return false;
        checks[command] = checked;
        return true;
    }
    void ShowAboutBox() override { log.push_back("about"); }
    void UnregisterNotifications() override { log.push_back("unregister"); }
    void PostQuit(int exitCode) override { log.push_back("quit " + std::to_string(exitCode)); }
    void EndMainDialog(int result) override { log.push_back("end " + std::to_string(result)); }
    void Beep(uint32_t type) override { log.push_back("beep " + std::to_string(type)); }

    std::map<int, bool> checks;
    std::vector<std::string> log;
    bool refuseChecks = false;
};
