// The property panel's controls held in memory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "assess/panel_platform.h"

class MemoryPanel : public PropertyPanel {
public:
    void SetFieldText(int control, const char* text) override;
    void SetCheck(int control, bool checked) override;
    bool IsChecked(int control) override;
    void SetBarPosition(int control, int position) override;

    std::string Text(int control) const;
    bool Checked(int control) const;
    int Bar() const { return bar_; }
    // Every call in order, e.g. "text 1003 0409", "check 1013 1", "bar 1007 4".
    const std::vector<std::string>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

private:
    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    int bar_ = 0;
    std::vector<std::string> log_;
};
