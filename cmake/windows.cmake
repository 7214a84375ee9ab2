# Windows build: the Win32 backends of the platform seams and the console
# tool that runs the scan on the machine it is started on.
add_library(portolan_win32 STATIC
    usb/win32_usb_platform.cpp
    tree/win32_registry.cpp
    tree/win32_tree_view.cpp
)
target_link_libraries(portolan_win32 PUBLIC portolan_core setupapi comctl32 advapi32 user32)

add_executable(portolan-live-report tools/live_report.cpp)
target_link_libraries(portolan-live-report PRIVATE portolan_win32)
