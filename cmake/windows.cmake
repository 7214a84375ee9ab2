# Windows build: the Win32 backends of the platform seams and the console
# tool that runs the scan on the machine it is started on.
add_library(portolan_win32 STATIC
    usb/win32_usb_platform.cpp
    usb/win32_code_page.cpp
    tree/win32_registry.cpp
    tree/win32_tree_view.cpp
    tree/win32_status_bar.cpp
    assess/win32_panel.cpp
)
target_link_libraries(portolan_win32 PUBLIC portolan_core setupapi comctl32 advapi32 user32)


# Runs the registry lookups against keys it makes; for a throw-away Wine
# prefix (tests/windows/check_programs_test.sh).
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
)
add_library(portolan_resources OBJECT res/portolan.rc)
target_include_directories(portolan_resources PUBLIC ${CMAKE_SOURCE_DIR}/res)
list(APPEND PORTOLAN_RESOURCE_FILES ${CMAKE_SOURCE_DIR}/res/version_info.rc ${CMAKE_SOURCE_DIR}/res/version.h)
set_source_files_properties(res/portolan.rc PROPERTIES OBJECT_DEPENDS "${PORTOLAN_RESOURCE_FILES}")

# Loads every resource and checks it; run under Wine by
# tests/windows/check_programs_test.sh.
add_executable(portolan-resource-check tests/windows/resource_check.cpp)
target_link_libraries(portolan-resource-check PRIVATE portolan_resources comctl32 version user32 gdi32)
target_include_directories(portolan-resource-check PRIVATE ${CMAKE_SOURCE_DIR})

# The application: the shell's Win32 side, shared by Portolan.exe, the demo
# and the window test.
add_library(portolan_app STATIC
    app/main_window.cpp
    app/win32_shell.cpp
    app/win32_process.cpp
    app/win32_help.cpp
)
target_link_libraries(portolan_app PUBLIC portolan_win32 comctl32 shell32 user32 gdi32)

# Portolan.exe: the real USB stack and registry of the machine.
add_executable(Portolan WIN32 app/win_main.cpp app/platform_live.cpp app/platform_machine.cpp)
target_link_libraries(Portolan PRIVATE portolan_app portolan_resources)
# What ships is stripped; the linked image with its symbols stays beside it
# as Portolan.symbols.exe, for debugging and for the PE checks (strip leaves
# the code and the base relocations as they are).
add_custom_command(TARGET Portolan POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Portolan> ${CMAKE_BINARY_DIR}/Portolan.symbols.exe
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:Portolan>
    VERBATIM)

# PortolanBericht.exe: the same scan of the machine, written as a report for
# the maker's support. Stripped like Portolan.exe, its linked image kept as
# PortolanBericht.symbols.exe.
add_library(portolan_report_resources OBJECT res/report.rc)
target_include_directories(portolan_report_resources PUBLIC ${CMAKE_SOURCE_DIR}/res)
set_source_files_properties(res/report.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/res/version_info.rc;${CMAKE_SOURCE_DIR}/res/version.h;${PORTOLAN_RESOURCE_FILES}")
add_executable(PortolanBericht WIN32 app/report_main.cpp app/report_file.cpp app/platform_machine.cpp
    app/win32_process.cpp)
target_link_libraries(PortolanBericht PRIVATE portolan_win32 portolan_report_resources shell32 user32)
add_custom_command(TARGET PortolanBericht POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:PortolanBericht> ${CMAKE_BINARY_DIR}/PortolanBericht.symbols.exe
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:PortolanBericht>
    VERBATIM)

# The report program's code in-process: its scans' handles and its file
# writes (tests/windows/wine_usb/report_test.sh).
add_executable(portolan-report-check tests/windows/report_file_wine.cpp app/report_file.cpp
    app/platform_machine.cpp app/win32_process.cpp)
target_link_libraries(portolan-report-check PRIVATE portolan_win32 shell32 user32)

# The simulated platform, for the demo and the window test.
add_library(portolan_sim_win STATIC ${PORTOLAN_SIM_SOURCES})
target_link_libraries(portolan_sim_win PUBLIC portolan_core)
# nlohmann-json is header-only: Debian's headers, without the rest of the
# host's include folder.
find_path(PORTOLAN_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-headers)
file(CREATE_LINK ${PORTOLAN_NLOHMANN_DIR}/nlohmann ${CMAKE_BINARY_DIR}/host-headers/nlohmann SYMBOLIC)
target_include_directories(portolan_sim_win SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/host-headers)

# PortolanDemo.exe: the same application over the bundled sample PC.
set(PORTOLAN_DEMO_TOPOLOGY ${CMAKE_SOURCE_DIR}/samples/office-pc.json)
file(WRITE ${CMAKE_BINARY_DIR}/demo_topology.rc "200 RCDATA \"${PORTOLAN_DEMO_TOPOLOGY}\"\n")
set_source_files_properties(${CMAKE_BINARY_DIR}/demo_topology.rc PROPERTIES OBJECT_DEPENDS ${PORTOLAN_DEMO_TOPOLOGY})
add_executable(PortolanDemo WIN32 app/win_main.cpp sim/platform_demo.cpp ${CMAKE_BINARY_DIR}/demo_topology.rc)
target_link_libraries(PortolanDemo PRIVATE portolan_app portolan_sim_win portolan_resources)

# The simulated code page against the real WideCharToMultiByte; run under
# Wine by tests/windows/check_programs_test.sh.
add_executable(portolan-code-page-test tests/windows/code_page_wine.cpp)
target_link_libraries(portolan-code-page-test PRIVATE portolan_sim_win portolan_win32)

# Drives the real main dialog over the simulated stack; run under Wine by
# tests/windows/check_programs_test.sh.
add_executable(portolan-window-test tests/windows/main_window_wine.cpp)
target_link_libraries(portolan-window-test PRIVATE portolan_app portolan_sim_win portolan_resources)

# The help file Portolan.chm, compiled from res/help/ at build time by
# scripts/build-help.sh; res/portolan.rc finds it as RCDATA 115 through the
# build folder on the resource compiler's include path.
file(GLOB PORTOLAN_HELP_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/res/help/*.hhp
    ${CMAKE_SOURCE_DIR}/res/help/*.hhc
    ${CMAKE_SOURCE_DIR}/res/help/*.html
    ${CMAKE_SOURCE_DIR}/res/help/parts/*.html
    ${CMAKE_SOURCE_DIR}/res/help/*.css
)
set(PORTOLAN_HELP_FILE ${CMAKE_BINARY_DIR}/Portolan.chm)
add_custom_command(
    OUTPUT ${PORTOLAN_HELP_FILE}
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-help.sh ${PORTOLAN_HELP_FILE}
    DEPENDS ${PORTOLAN_HELP_SOURCES}
        ${CMAKE_SOURCE_DIR}/scripts/build-help.sh
        ${CMAKE_SOURCE_DIR}/tools/chm_fixup.py
        ${CMAKE_SOURCE_DIR}/tools/chm_contents.py
        ${CMAKE_SOURCE_DIR}/tools/support_contact.py
        ${CMAKE_SOURCE_DIR}/res/support_contact.txt
    COMMENT "Compiling the help file Portolan.chm"
    VERBATIM
)
add_custom_target(portolan_help DEPENDS ${PORTOLAN_HELP_FILE})
add_dependencies(portolan_resources portolan_help)
target_include_directories(portolan_resources PRIVATE ${CMAKE_BINARY_DIR})
set_property(SOURCE res/portolan.rc APPEND PROPERTY OBJECT_DEPENDS ${PORTOLAN_HELP_FILE})

# The advice window's binding to hhctrl.ocx through the real registry and
# loader (tests/windows/check_programs_test.sh), and the module it plants
# as hhctrl.ocx in the program's folder.
add_executable(portolan-help-binding-test tests/windows/help_binding_wine.cpp)
target_link_libraries(portolan-help-binding-test PRIVATE portolan_app)
add_library(portolan-planted-module SHARED tests/windows/planted_module.cpp)
set_target_properties(portolan-planted-module PROPERTIES PREFIX "")
target_link_options(portolan-planted-module PRIVATE -static-libgcc)

# The simulated USB stack inside Wine's kernel (x64 only): the driver, the
# program that installs it into a prefix and the one that hands it a
# topology (scripts/wine-usb.sh).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_executable(portolanusb sim/kernel/usb_stack_driver.c sim/kernel/usb_answers.c)
    set_target_properties(portolanusb PROPERTIES SUFFIX ".sys")
    target_include_directories(portolanusb SYSTEM PRIVATE ${CMAKE_SYSROOT}/usr/x86_64-w64-mingw32/include/ddk
        /usr/x86_64-w64-mingw32/include/ddk)
    target_include_directories(portolanusb PRIVATE ${CMAKE_SOURCE_DIR})
    # No C runtime in the kernel: no stack protector, no fortified calls.
    target_compile_options(portolanusb PRIVATE -fno-stack-protector -U_FORTIFY_SOURCE -Wno-unknown-pragmas)
    target_link_options(portolanusb PRIVATE -nostdlib -fno-stack-protector -shared -Wl,--subsystem,native
        -Wl,--entry,DriverEntry -Wl,--image-base,0x140000000)
    target_link_libraries(portolanusb PRIVATE ntoskrnl hal)

    # Reads and drives a running Portolan.exe or PortolanDemo.exe from outside:
    # the checks, the screenshots and the run script.
    add_executable(portolan-window-dump tools/window_dump.cpp)
    target_include_directories(portolan-window-dump PRIVATE ${CMAKE_SOURCE_DIR})
    target_include_directories(portolan-window-dump SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/host-headers)
    target_link_libraries(portolan-window-dump PRIVATE user32 comctl32 shell32 psapi ntdll)
    add_executable(portolan-usb-load sim/wine/usb_topology_load.cpp)
    target_link_libraries(portolan-usb-load PRIVATE portolan_sim_win setupapi advapi32)
endif()
