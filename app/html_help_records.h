// The HTML Help control's window type record and the commands used.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#include <htmlhelp.h>
#if defined(_WIN64)
static_assert(sizeof(HH_WINTYPE) == 280);
#else
static_assert(sizeof(HH_WINTYPE) == 196);
#endif
#else
struct HelpRect {
    int32_t left, top, right, bottom;
};

// The native build's copy of the record, field for field.
struct HH_WINTYPE {
    int cbStruct;
    int fUniCodeStrings;
    const char* pszType;
    uint32_t fsValidMembers;
    uint32_t fsWinProperties;
    const char* pszCaption;
    uint32_t dwStyles;
    uint32_t dwExStyles;
    HelpRect rcWindowPos;
    int nShowState;
    void* hwndHelp;
    void* hwndCaller;
    void* paInfoTypes;
    void* hwndToolBar;
    void* hwndNavigation;
    void* hwndHTML;
    int iNavWidth;
    HelpRect rcHTML;
    const char* pszToc;
    const char* pszIndex;
    const char* pszFile;
    const char* pszHome;
    uint32_t fsToolBarFlags;
    int fNotExpanded;
    int curNavType;
    int tabpos;
    int idNotify;
    uint8_t tabOrder[20];
    int cHistory;
    const char* pszJump1;
    const char* pszJump2;
    const char* pszUrlJump1;
    const char* pszUrlJump2;
    HelpRect rcMinSize;
    int cbInfoTypes;
    const char* pszCustomTabs;
};

static_assert(sizeof(void*) != 8 || sizeof(HH_WINTYPE) == 280);

constexpr unsigned HH_SET_WIN_TYPE = 4;
constexpr unsigned HH_HELP_CONTEXT = 15;
constexpr unsigned HH_CLOSE_ALL = 18;
constexpr uint32_t HHWIN_PARAM_RECT = 0x10;
constexpr uint32_t HHWIN_PARAM_TB_FLAGS = 0x100;
constexpr uint32_t HHWIN_PARAM_EXPANSION = 0x200;
#endif
