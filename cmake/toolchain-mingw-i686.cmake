# Cross build for 32-bit Windows with mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(PORTOLAN_MINGW_TRIPLE i686-w64-mingw32)

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
# Static runtime; ASLR with relocations, DEP, and a 4 GB address space.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat,--large-address-aware")
