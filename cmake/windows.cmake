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

# Runs the registry lookups against keys it makes; for a throw-away Wine
# prefix (tests/windows/registry_lookup_wine_test.sh).
add_executable(portolan-registry-test tests/windows/registry_lookup_wine.cpp)
target_link_libraries(portolan-registry-test PRIVATE portolan_win32 portolan_core ntdll)
