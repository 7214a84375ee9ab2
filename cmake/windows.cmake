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

# Resources of the application: dialogs, menu, accelerators, icon, bitmaps,
# help file, manifest and version information. Link it into the exe.
enable_language(RC)
set(PORTOLAN_RESOURCE_FILES
    ${CMAKE_SOURCE_DIR}/res/resource_ids.h
    ${CMAKE_SOURCE_DIR}/res/portolan.manifest
    ${CMAKE_SOURCE_DIR}/res/portolan.ico
    ${CMAKE_SOURCE_DIR}/res/about.bmp
    ${CMAKE_SOURCE_DIR}/res/tree_images.bmp
    ${CMAKE_SOURCE_DIR}/res/help/placeholder.chm
)
add_library(portolan_resources OBJECT res/portolan.rc)
target_include_directories(portolan_resources PUBLIC ${CMAKE_SOURCE_DIR}/res)
# windres takes none of the C++ warning options.
set_property(TARGET portolan_resources PROPERTY COMPILE_OPTIONS "")
set_source_files_properties(res/portolan.rc PROPERTIES OBJECT_DEPENDS "${PORTOLAN_RESOURCE_FILES}")

# Loads every resource and checks it; run under Wine by
# tests/windows/resource_check_wine_test.sh.
add_executable(portolan-resource-check tests/windows/resource_check.cpp)
target_link_libraries(portolan-resource-check PRIVATE portolan_resources comctl32 version user32 gdi32)
