#pragma once

// Runs the built nemora-cli in a child process and captures what it prints.

#include <string>
#include <vector>

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs nemora-cli with the arguments (no shell involved) and optional extra environment ("NAME=value").
CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
