# Cross build for Windows with mingw-w64: PORTOLAN_MINGW_TRIPLE (set by the
# preset) is x86_64-w64-mingw32 or i686-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
# The compiler checks read this file again in a project of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PORTOLAN_MINGW_TRIPLE)
if(PORTOLAN_MINGW_TRIPLE STREQUAL "x86_64-w64-mingw32")
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
    # ASLR with high entropy.
    set(PORTOLAN_ADDRESS_SPACE --high-entropy-va)
elseif(PORTOLAN_MINGW_TRIPLE STREQUAL "i686-w64-mingw32")
    set(CMAKE_SYSTEM_PROCESSOR x86)
    # A 4 GB address space.
    set(PORTOLAN_ADDRESS_SPACE --large-address-aware)
else()
    message(FATAL_ERROR "PORTOLAN_MINGW_TRIPLE: x86_64-w64-mingw32 or i686-w64-mingw32, not '${PORTOLAN_MINGW_TRIPLE}'")
endif()

# The posix thread model where installed, else the default compiler.
find_program(PORTOLAN_MINGW_CXX NAMES ${PORTOLAN_MINGW_TRIPLE}-g++-posix ${PORTOLAN_MINGW_TRIPLE}-g++-win32
                                      ${PORTOLAN_MINGW_TRIPLE}-g++ REQUIRED)
find_program(PORTOLAN_MINGW_CC NAMES ${PORTOLAN_MINGW_TRIPLE}-gcc-posix ${PORTOLAN_MINGW_TRIPLE}-gcc-win32
                                     ${PORTOLAN_MINGW_TRIPLE}-gcc REQUIRED)
find_program(PORTOLAN_MINGW_RC NAMES ${PORTOLAN_MINGW_TRIPLE}-windres REQUIRED)
find_program(CMAKE_STRIP NAMES ${PORTOLAN_MINGW_TRIPLE}-strip REQUIRED)
set(CMAKE_CXX_COMPILER ${PORTOLAN_MINGW_CXX})
set(CMAKE_C_COMPILER ${PORTOLAN_MINGW_CC})
set(CMAKE_RC_COMPILER ${PORTOLAN_MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${PORTOLAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 API level; ANSI entry points, so UNICODE stays undefined.
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
# Static runtime; ASLR with relocations, and DEP.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat,${PORTOLAN_ADDRESS_SPACE}")
