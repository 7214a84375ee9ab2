# libFuzzer targets: the scan over fuzzed platform replies and the topology
# file loader. Run them with scripts/fuzz.sh (with PORTOLAN_COVERAGE, for its
# coverage mode).
foreach(target scan_replies topology_file)
    add_executable(fuzz_${target} tests/fuzz/${target}_fuzz.cpp)
    target_link_libraries(fuzz_${target} PRIVATE portolan_sim)
    target_compile_definitions(fuzz_${target} PRIVATE PORTOLAN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()
