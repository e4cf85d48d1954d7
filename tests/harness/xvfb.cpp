#include "tests/harness/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace vorpix_test {
namespace {

pid_t server_pid = -1;

}  // namespace

bool start_xvfb(const char *screen) {
  int fds[2];
  if (pipe(fds) != 0) return false;

  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The server must not outlive a test that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
    }
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen,
           "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);

  // The server writes its display number once it accepts connections.
  std::string number;
  pollfd pfd = {fds[0], POLLIN, 0};
  while (poll(&pfd, 1, 20000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");
    return false;
  }
  server_pid = pid;
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}

int xvfb_pid() { return server_pid; }

ServerMemoryLimit::ServerMemoryLimit(unsigned long spare) {
  if (server_pid <= 0) return;
  std::ifstream status("/proc/" + std::to_string(server_pid) + "/status");
  unsigned long size_kib = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) size_kib = std::stoul(line.substr(7));
  struct rlimit old_limit, limit;
  if (size_kib == 0 || prlimit(server_pid, RLIMIT_AS, nullptr, &old_limit) != 0) return;
  limit.rlim_cur = size_kib * 1024 + spare;
  limit.rlim_max = old_limit.rlim_max;
  ok_ = prlimit(server_pid, RLIMIT_AS, &limit, nullptr) == 0;
  old_[0] = old_limit.rlim_cur;
  old_[1] = old_limit.rlim_max;
}

ServerMemoryLimit::~ServerMemoryLimit() {
  if (!ok_) return;
  struct rlimit limit = {old_[0], old_[1]};
  prlimit(server_pid, RLIMIT_AS, &limit, nullptr);
}

void stop_xvfb() {
  if (server_pid <= 0) return;
  kill(server_pid, SIGTERM);
  waitpid(server_pid, nullptr, 0);
  server_pid = -1;
}

}  // namespace vorpix_test
