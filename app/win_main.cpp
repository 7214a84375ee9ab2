// Entry point of Portolan.exe.
#include <windows.h>

#include "app/main_window.h"
#include "app/win32_process.h"
#include "app/wow64_handover.h"
#include "res/resource_ids.h"

namespace {

constexpr SIZE_T kTextBufferBytes = 8192;

// The start-up's text buffer with its capacity and used length.
struct TextBufferState {
    char* data;
    SIZE_T capacity;
    SIZE_T used;
};
TextBufferState TextBuffer = {};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showState)
{
    RestrictLibrarySearch();
    if (!InstallPlatform())
        return 0;
    if (HandOverTo64BitBuild(commandLine))
        return 0;
    AppInstance = instance;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    if (!accelerators)
        return 0;
    TextBuffer.data = static_cast<char*>(GlobalAlloc(GPTR, kTextBufferBytes));
    if (!TextBuffer.data)
        return 0;
    TextBuffer.capacity = kTextBufferBytes;
    TextBuffer.used = 0;
    TextBuffer.data[0] = 0;

    ExtractHelpFile();
    if (!CreateMainWindow(showState)) {
        GlobalFree(TextBuffer.data);
        return 0;
    }

    MSG message;
    // GetMessageA yields 0 for the quit message and -1 on failure; both end the loop.
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchLoopMessage(&message, accelerators);

    GlobalFree(TextBuffer.data);
    return 1;
}
