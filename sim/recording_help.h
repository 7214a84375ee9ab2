// An HTML Help control and window system that record what the advice
// window asked of them; which modules load can be chosen.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/help_platform.h"
#include "app/html_help_records.h"

inline WindowRef const kRecordedMainWindow = reinterpret_cast<WindowRef>(0x1234);
inline WindowRef const kRecordedDesktop = reinterpret_cast<WindowRef>(0x10010);

class RecordingHelp : public HelpPlatform {
public:
    struct Call {
        WindowRef caller = nullptr;
        std::string file;
        unsigned command = 0;
        uintptr_t data = 0;
        // The record of HH_SET_WIN_TYPE.
        std::string caption, type;
        ScreenRect rect{};
    };

    void EnterTempFolder() override { log.push_back("temp"); }
    void WindowCaption(WindowRef, char* text, int capacity) override
    {
        snprintf(text, static_cast<size_t>(capacity), "%s", caption.c_str());
    }
    ScreenRect WindowRect(WindowRef) override { return mainRect; }
    int FullScreenWidth() override { return screenWidth; }
    WindowRef DesktopWindow() override { return kRecordedDesktop; }
    void BringToForeground(WindowRef window) override { log.push_back(window == kRecordedMainWindow ? "front main" : "front ?"); }
    void* LoadModule(const char* path) override { return Load(path); }
    void* LoadSystemModule(const char* name) override { return Load(std::string("system ") + name); }
    void* Load(const std::string& what)
    {
        log.push_back("load " + what);
        return loadable.count(what) ? this : nullptr;
    }
    void* FindOrdinal(void*, int ordinal) override
    {
        log.push_back("ordinal " + std::to_string(ordinal));
        return hasEntry ? this : nullptr;
    }
    WindowRef CallEntry(void*, WindowRef caller, const char* file, unsigned command, uintptr_t data) override
    {
        Call call;
        call.caller = caller;
        call.file = file ? file : "(null)";
        call.command = command;
        call.data = data;
        if (command == HH_SET_WIN_TYPE) {
            const auto* t = reinterpret_cast<const HH_WINTYPE*>(data);
            char text[200];
            snprintf(text, sizeof(text), "%s size %d unicode %d valid %x properties %x toolbar %x styles %lx "
                     "not expanded %d", t->pszType, t->cbStruct, t->fUniCodeStrings, static_cast<unsigned>(t->fsValidMembers),
                     static_cast<unsigned>(t->fsWinProperties), static_cast<unsigned>(t->fsToolBarFlags),
                     static_cast<unsigned long>(t->dwStyles | t->dwExStyles), t->fNotExpanded);
            call.type = text;
            call.caption = t->pszCaption;
            call.rect = {t->rcWindowPos.left, t->rcWindowPos.top, t->rcWindowPos.right, t->rcWindowPos.bottom};
        }
        calls.push_back(call);
        log.push_back("call " + std::to_string(command));
        return kRecordedDesktop;
    }

    std::string caption = " USB-Kompatibilit\xE4tscheck";
    ScreenRect mainRect{100, 50, 560, 700};
    int screenWidth = 1920;
    // Registered paths, and "system NAME" for a module of the system folder.
    std::set<std::string> loadable = {"system hhctrl.ocx"};
    bool hasEntry = true;
    std::vector<Call> calls;
    std::vector<std::string> log;

    // The topics shown, in order; -1 where every help window was closed.
    std::vector<int> Topics() const
    {
        std::vector<int> topics;
        for (const Call& call : calls)
            if (call.command == HH_HELP_CONTEXT || call.command == HH_CLOSE_ALL)
                topics.push_back(call.command == HH_CLOSE_ALL ? -1 : static_cast<int>(call.data));
        return topics;
    }
};
