// The advice window's binding to the HTML Help control through the real
// registry and loader: the control's registered path, and the fallback load
// of "hhctrl.ocx" from the system folder only, also when the application's
// folder holds a file of that name. How the key is opened and closed the
// native tests prove. Prints PASS/FAIL lines and a summary.
//
//   portolan-help-binding-test.exe           the checks
//   portolan-help-binding-test.exe --plain   loads "hhctrl.ocx" by bare name
//                                            under start-up's search order and
//                                            prints the file it got
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/advice_window.h"
#include "app/win32_help.h"
#include "app/win32_process.h"
#include "tree/registry_platform.h"
#include "tests/windows/check_lines.h"
#include "tree/win32_registry.h"

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return Lower(slash == std::string::npos ? std::string() : path.substr(0, slash));
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    RestrictLibrarySearch();
    if (argc > 1 && strcmp(argv[1], "--plain") == 0) {
        HMODULE module = LoadLibraryA("hhctrl.ocx");
        printf("LOADED %s\n", module ? ModulePath(module).c_str() : "(none)");
        return module ? 0 : 1;
    }

    Win32Registry registry;
    ActiveRegistry = &registry;
    char path[260] = {};
    Check(GetHtmlHelpControlPath(path) == 1, "the control's registered path is read");
    printf("INFO registered path: %s\n", path);
    Check(Lower(path).size() >= 10 && Lower(path).compare(Lower(path).size() - 10, 10, "hhctrl.ocx") == 0,
          "the registered path names hhctrl.ocx");

    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    Win32Help help;
    HMODULE control = static_cast<HMODULE>(help.LoadSystemModule("hhctrl.ocx"));
    const std::string loaded = control ? ModulePath(control) : "";
    printf("INFO loaded from the system folder: %s\n", loaded.c_str());
    Check(control != nullptr, "hhctrl.ocx loads from the system folder");
    Check(Folder(loaded) == Lower(system), "the loaded control is the system folder's");
    Check(Folder(loaded) != Folder(ModulePath(nullptr)), "not the file in the application's folder");
    Check(control && GetProcAddress(control, MAKEINTRESOURCEA(14)) != nullptr, "it exports entry 14");

    return CheckSummary("help binding");
}
