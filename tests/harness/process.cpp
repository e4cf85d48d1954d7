#include "tests/harness/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char **environ;

namespace vorpix_test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char *> c_argv(const std::vector<std::string> &argv) {
  std::vector<char *> v;
  for (const std::string &a : argv) v.push_back(const_cast<char *>(a.c_str()));
  v.push_back(nullptr);
  return v;
}

// In the forked child: stdin from /dev/null, stdout and stderr to out and err.
void redirect(int out, int err) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  int null = open("/dev/null", O_RDONLY);
  if (null >= 0) dup2(null, STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
}

// Reaps pid, killing it first when it is still running at the deadline.
int reap(pid_t pid, Clock::time_point deadline, bool *finished) {
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0) {
      *finished = false;
      return -1;
    }
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      *finished = false;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  *finished = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CommandResult run_command(const std::vector<std::string> &argv, int timeout_ms) {
  CommandResult result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  std::vector<char *> args = c_argv(argv);
  pid_t pid = fork();
  if (pid == 0) {
    redirect(out[1], err[1]);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return result;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  int open_fds = 2;
  while (open_fds > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open_fds--;
      }
    }
  }
  for (pollfd &p : fds)
    if (p.fd >= 0) close(p.fd);
  result.status = reap(pid, deadline, &result.finished);
  return result;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::start(const std::vector<std::string> &argv,
                         const std::vector<std::string> &environment, const std::string &cwd,
                         const std::string &log_path) {
  return spawn(argv, &environment, cwd, log_path);
}

bool ChildProcess::start(const std::vector<std::string> &argv, const std::string &cwd,
                         const std::string &log_path) {
  return spawn(argv, nullptr, cwd, log_path);
}

bool ChildProcess::spawn(const std::vector<std::string> &argv,
                         const std::vector<std::string> *environment, const std::string &cwd,
                         const std::string &log_path) {
  std::vector<char *> args = c_argv(argv);
  std::vector<char *> env = environment ? c_argv(*environment) : std::vector<char *>();
  int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (log < 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    redirect(log, log);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execve(args[0], args.data(), environment ? env.data() : environ);
    _exit(127);
  }
  close(log);
  if (pid < 0) return false;
  pid_ = pid;
  return true;
}

bool ChildProcess::exited() {
  if (pid_ <= 0) return false;
  if (reaped_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  reaped_ = true;
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return true;
}

std::string ChildProcess::ending() {
  if (pid_ <= 0) return "not started";
  if (!exited()) return "still running";
  if (signal_) return std::string("killed by ") + strsignal(signal_);
  return "exit status " + std::to_string(exit_status_);
}

}  // namespace vorpix_test
