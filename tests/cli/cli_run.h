#pragma once
// Runs delvora-cli in a child process with its standard output and standard
// error kept apart.
#include <string>

#include "support/recorders.h"

namespace delvora::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs "delvora-cli ARGS" (ARGS as shell text) with its streams in files of dir.
inline CliResult RunCli(const TempDir& dir, const std::string& args) {
    CliResult r;
    const std::string outFile = dir.File(".cli-out"), errFile = dir.File(".cli-err");
    // RunShell folds stderr into its output; the group keeps the streams apart.
    r.status = RunShell("{ " + std::string(DELVORA_CLI_PATH) + " " + args + " >'" + outFile + "' 2>'" + errFile + "'; }");
    const auto out = ReadFileBytes(outFile), err = ReadFileBytes(errFile);
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    return r;
}

/// Number of '\n'-ended lines.
inline size_t LineCount(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace delvora::test
