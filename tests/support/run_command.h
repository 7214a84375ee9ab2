// Runs a shell command for a test: its exit code, whether a signal ended it,
// its standard output and its standard error (through a file).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_command {

struct Outcome {
    int exitCode = -1;
    bool signalled = false;
    std::string out;
    std::string err;
};

// One argument for /bin/sh, in single quotes.
inline std::string Quoted(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

// Standard input is empty; standard error goes to errFile and is read back.
inline Outcome RunCommand(const std::string& command, const std::filesystem::path& errFile)
{
    Outcome run;
    FILE* pipe = popen((command + " 2>" + Quoted(errFile.string()) + " </dev/null").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.signalled = WIFSIGNALED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(errFile);
    return run;
}

}  // namespace testing_command
