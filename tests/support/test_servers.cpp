#include "support/test_servers.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orvella::testing {
namespace {

// In the child: ends with the test binary, even one ctest kills on a
// timeout, so that no server outlives the run.
void endWithParent(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(1);
}

// One line a child prints on a pipe; the pipe is closed after.
std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (true) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    ::close(fd);
    return line;
}

pid_t startXvfbOnce(std::string& display, const std::string& size) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        endWithParent(parent);
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const std::string screen = size + "x24";
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "+extension", "RANDR",
                 "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string number = readLine(fds[0]);
    if (number.empty()) {
        stopServer(pid);
        return -1;
    }
    display.assign(1, ':');
    display += number;
    return pid;
}

}  // namespace

pid_t startXvfb(std::string& display, const std::string& size) {
    // Another test starting its server at the same moment can take the
    // display number being claimed; try again.
    pid_t pid = -1;
    for (int attempt = 0; attempt < 5 && pid <= 0; ++attempt) pid = startXvfbOnce(display, size);
    return pid;
}

pid_t startBus() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        endWithParent(parent);
        ::close(fds[0]);
        const std::string print = "--print-address=" + std::to_string(fds[1]);
        ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", print.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string address = readLine(fds[0]);
    if (address.empty()) {
        stopServer(pid);
        return -1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return pid;
}

void stopServer(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace orvella::testing
