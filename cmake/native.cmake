# Native Linux build: the simulated platform, the tools and the tests.
find_package(nlohmann_json 3 REQUIRED)

add_library(portolan_sim STATIC ${PORTOLAN_SIM_SOURCES} sim/sim_session.cpp)
target_link_libraries(portolan_sim PUBLIC portolan_core nlohmann_json::nlohmann_json)

add_library(portolan_report_lib STATIC
    tools/report_json.cpp
)
target_link_libraries(portolan_report_lib PUBLIC portolan_sim)

add_executable(portolan-report tools/portolan_report.cpp)
target_link_libraries(portolan-report PRIVATE portolan_report_lib)

# Times refreshes of simulated PCs of growing size and checks their request counts.
add_executable(portolan-refresh-benchmark tools/refresh_benchmark.cpp)
target_link_libraries(portolan-refresh-benchmark PRIVATE portolan_sim)
target_compile_definitions(portolan-refresh-benchmark PRIVATE PORTOLAN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Loads topology files of hostile shapes and checks the memory a load takes.
add_executable(portolan-load-benchmark tools/load_benchmark.cpp)
target_link_libraries(portolan-load-benchmark PRIVATE portolan_sim)

if(PORTOLAN_FUZZ)
    include(cmake/fuzz.cmake)
    return()
endif()

find_package(GTest REQUIRED)
enable_testing()
file(GLOB_RECURSE PORTOLAN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cpp)
add_executable(portolan_tests ${PORTOLAN_TEST_SOURCES})
target_link_libraries(portolan_tests PRIVATE portolan_report_lib GTest::gtest GTest::gtest_main)
target_compile_definitions(portolan_tests PRIVATE PORTOLAN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    PORTOLAN_REPORT_EXE="$<TARGET_FILE:portolan-report>")
add_dependencies(portolan_tests portolan-report)
include(GoogleTest)
gtest_discover_tests(portolan_tests DISCOVERY_TIMEOUT 60)
