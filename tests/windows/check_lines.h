// The PASS/FAIL lines and the summary of a Windows check program, in the
// shape tests/windows/check_programs_test.sh judges.
#pragma once

#include <cstdio>
#include <string>

inline int CheckPasses = 0;
inline int CheckFailures = 0;
inline int CheckSkips = 0;

inline void Check(bool ok, const std::string& name)
{
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", name.c_str());
    std::fflush(stdout);
    ++(ok ? CheckPasses : CheckFailures);
}

inline void Skip(const std::string& name)
{
    std::printf("SKIP %s\n", name.c_str());
    ++CheckSkips;
}

// Prints "PREFIX: N passed, M failed" (and the skips) and gives the exit code.
inline int CheckSummary(const char* prefix)
{
    std::printf("%s: %d passed, %d failed", prefix, CheckPasses, CheckFailures);
    std::printf(CheckSkips ? ", %d skipped\n" : "\n", CheckSkips);
    std::fflush(stdout);
    return CheckFailures ? 1 : 0;
}
