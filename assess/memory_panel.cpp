#include "assess/memory_panel.h"

void MemoryPanel::SetFieldText(int control, const char* text)
{
    texts_[control] = text;
    log_.push_back("text " + std::to_string(control) + " " + text);
}

void MemoryPanel::SetCheck(int control, bool checked)
{
    checks_[control] = checked;
    log_.push_back("check " + std::to_string(control) + " " + (checked ? "1" : "0"));
}

bool MemoryPanel::IsChecked(int control)
{
    return Checked(control);
}

void MemoryPanel::SetBarPosition(int control, int position)
{
    bar_ = position;
    log_.push_back("bar " + std::to_string(control) + " " + std::to_string(position));
}

std::string MemoryPanel::Text(int control) const
{
    auto found = texts_.find(control);
    return found == texts_.end() ? std::string() : found->second;
}

bool MemoryPanel::Checked(int control) const
{
    auto found = checks_.find(control);
    return found != checks_.end() && found->second;
}
