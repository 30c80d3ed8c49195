// Shared test helpers: captured raises, temporary folders, child processes and pseudo-terminals.
#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "textio/platform.h"
#include "textio/units.h"

namespace testsupport {

namespace {

void throwRaise(char letter, int number, textio::StatementKind kind, std::string_view name) {
    RaisedError raised;
    raised.letter = letter;
    raised.number = number;
    raised.kind = kind;
    raised.name = std::string(name);
    throw raised;
}

// Puts a pseudo-terminal's slave side into the state of an interactive
// terminal without the line discipline's extras that would blur byte tests:
// no echo, no output translation, no job-control keys.
void configureTerminal(int slave) {
    struct termios settings;
    tcgetattr(slave, &settings);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    settings.c_lflag |= ICANON;
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_iflag |= ICRNL;
    tcsetattr(slave, TCSANOW, &settings);
}

void appendAvailable(int handle, std::string& into, bool& open) {
    char chunk[4096];
    ssize_t n = ::read(handle, chunk, sizeof chunk);
    if (n > 0) {
        into.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
}

}  // namespace

void TextIoTest::SetUp() {
    textio::platform::restoreSystemCalls();
    textio::resetExitStateForTesting();
    textio::resetUnitsForTesting();
    textio::setRaiseHandlerForTesting(throwRaise);
}

void TextIoTest::TearDown() {
    textio::platform::restoreSystemCalls();
    textio::resetUnitsForTesting();
    textio::setRaiseHandlerForTesting(nullptr);
    textio::resetExitStateForTesting();
}

std::string makeTempDir(const std::string& label) {
    std::string base = std::string(KKF_BINARY_DIR) + "/testtmp";
    ::mkdir(base.c_str(), 0777);
    std::string pattern = base + "/" + label + "-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (::mkdtemp(path.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a folder from " << pattern;
        return base;
    }
    return std::string(path.data());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool fileExists(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

std::string programPath() { return std::string(KKF_BINARY_DIR) + "/kkfprime"; }
std::string driverPath(const std::string& name) { return std::string(KKF_BINARY_DIR) + "/tests/" + name; }
std::string sourcePath(const std::string& relative) { return std::string(KKF_SOURCE_DIR) + "/" + relative; }

RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    RunResult result;
    int terminalMaster = -1, terminalSlave = -1;
    if (options.inputIsTerminal || options.outputIsTerminal) {
        if (::openpty(&terminalMaster, &terminalSlave, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed: " << std::strerror(errno);
            return result;
        }
        configureTerminal(terminalSlave);
    }
    int inputPipe[2] = {-1, -1}, outputPipe[2] = {-1, -1}, errorPipe[2];
    if (!options.inputIsTerminal && ::pipe(inputPipe) != 0) return result;
    if (!options.outputIsTerminal && options.standardOutputPath.empty() && !options.closeStandardOutput &&
        ::pipe(outputPipe) != 0) {
        return result;
    }
    if (::pipe(errorPipe) != 0) return result;

    pid_t child = ::fork();
    if (child == 0) {
        if (terminalSlave >= 0) {
            ::setsid();
            ::ioctl(terminalSlave, TIOCSCTTY, 0);
        }
        ::dup2(options.inputIsTerminal ? terminalSlave : inputPipe[0], 0);
        if (options.closeStandardOutput) {
            ::close(1);
        } else if (!options.standardOutputPath.empty()) {
            int out = ::open(options.standardOutputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(out, 1);
            if (out != 1) ::close(out);
        } else {
            ::dup2(options.outputIsTerminal ? terminalSlave : outputPipe[1], 1);
        }
        ::dup2(errorPipe[1], 2);
        for (int handle : {terminalMaster, terminalSlave, inputPipe[0], inputPipe[1], outputPipe[0],
                           outputPipe[1], errorPipe[0], errorPipe[1]}) {
            if (handle > 2) ::close(handle);
        }
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        _exit(127);
    }

    // Parent: feed the input, collect both output streams until the child ends.
    if (terminalSlave >= 0) ::close(terminalSlave);
    if (inputPipe[0] >= 0) ::close(inputPipe[0]);
    if (outputPipe[1] >= 0) ::close(outputPipe[1]);
    ::close(errorPipe[1]);
    int inputHandle = options.inputIsTerminal ? terminalMaster : inputPipe[1];
    int outputHandle = options.outputIsTerminal ? terminalMaster : outputPipe[0];
    std::size_t written = 0;
    const std::string& input = options.standardInput;
    bool inputOpen = true, outputOpen = outputHandle >= 0, errorOpen = true;
    if (!options.inputIsTerminal) ::fcntl(inputHandle, F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    int status = 0;
    bool exited = false;
    while (!exited || outputOpen || errorOpen) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ADD_FAILURE() << "child timed out: " << argv[0];
        }
        if (inputOpen && written == input.size() && !options.inputIsTerminal) {
            ::close(inputHandle);
            inputOpen = false;
        }
        struct pollfd waits[3];
        int count = 0;
        if (inputOpen && written < input.size()) waits[count++] = {inputHandle, POLLOUT, 0};
        if (outputOpen) waits[count++] = {outputHandle, POLLIN, 0};
        if (errorOpen) waits[count++] = {errorPipe[0], POLLIN, 0};
        ::poll(waits, static_cast<nfds_t>(count), 20);
        for (int i = 0; i < count; ++i) {
            if (waits[i].revents == 0) continue;
            if (waits[i].fd == inputHandle && (waits[i].events & POLLOUT)) {
                ssize_t n = ::write(inputHandle, input.data() + written, input.size() - written);
                if (n > 0) {
                    written += static_cast<std::size_t>(n);
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    written = input.size();  // the child stopped reading
                }
            } else if (waits[i].fd == errorPipe[0]) {
                appendAvailable(errorPipe[0], result.standardError, errorOpen);
            } else if (waits[i].fd == outputHandle) {
                appendAvailable(outputHandle, result.standardOutput, outputOpen);
            }
        }
        if (!exited && ::waitpid(child, &status, WNOHANG) == child) {
            exited = true;
            // A pseudo-terminal stays open on our side; drain what is left and stop.
            if (terminalMaster >= 0 && outputOpen && options.outputIsTerminal) {
                ::fcntl(terminalMaster, F_SETFL, O_NONBLOCK);
                bool more = true;
                while (more) {
                    std::size_t before = result.standardOutput.size();
                    appendAvailable(terminalMaster, result.standardOutput, more);
                    if (result.standardOutput.size() == before) break;
                }
                outputOpen = false;
            }
        }
    }
    if (terminalMaster >= 0) ::close(terminalMaster);
    if (inputOpen && inputHandle >= 0 && inputHandle != terminalMaster) ::close(inputHandle);
    if (outputHandle >= 0 && outputHandle != terminalMaster) ::close(outputHandle);
    ::close(errorPipe[0]);
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitStatus = 128 + WTERMSIG(status);
    }
    return result;
}

std::string visible(const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte < 32 || byte > 126) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            text += code;
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

}  // namespace testsupport
