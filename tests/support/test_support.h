// Shared test helpers: captured raises, temporary folders, child processes and pseudo-terminals.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "textio/errors.h"

namespace testsupport {

// A raise caught in-process: the condition a statement would have reported.
struct RaisedError : std::exception {
    char letter;
    int number;
    textio::StatementKind kind;
    std::string name;
    const char* what() const noexcept override { return "raised"; }
};

// Fresh unit table and console connections for every test, with raises
// thrown as RaisedError instead of ending the test process.
class TextIoTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Runs `body` and returns the condition it raised; fails the test when it
// raises nothing.
template <typename Body>
RaisedError expectRaise(Body&& body) {
    try {
        body();
    } catch (const RaisedError& raised) {
        return raised;
    }
    ADD_FAILURE() << "expected a raise, none happened";
    return RaisedError{};
}

// A new empty folder below the build tree, removed by nothing (tests inspect it).
std::string makeTempDir(const std::string& label);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

std::string programPath();                        // the kkfprime binary
std::string driverPath(const std::string& name);  // a test driver from tests/drivers
std::string sourcePath(const std::string& relative);

struct RunOptions {
    std::string workingDirectory;   // empty: the current one
    std::string standardInput;      // bytes given on standard input
    bool inputIsTerminal = false;   // standard input on a pseudo-terminal
    bool outputIsTerminal = false;  // standard output on a pseudo-terminal (the same one when both)
    bool closeStandardOutput = false;
    std::string standardOutputPath; // non-empty: standard output goes to this file
    int timeoutSeconds = 60;
};

struct RunResult {
    std::string standardOutput;  // bytes from the pipe or pseudo-terminal
    std::string standardError;
    int exitStatus = -1;         // exit status, or 128 + signal
};

RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& options);

// Bytes as printable text for failure messages (CR as \r, LF as \n, others as \xNN).
std::string visible(const std::string& bytes);

}  // namespace testsupport
