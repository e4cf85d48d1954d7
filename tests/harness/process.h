// Other programs run by the tests: commands run to their end under a time
// limit, and programs started in the background that are always killed when
// the test leaves early.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vorpix_test {

struct CommandResult {
  bool finished = false;  // false: it could not start, or was killed at the time limit
  int status = -1;        // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
  bool ok() const { return finished && status == 0; }
};

// Runs argv (searched on PATH) with stdin from /dev/null and its output
// captured; a command still running after timeout_ms is killed.
CommandResult run_command(const std::vector<std::string> &argv, int timeout_ms = 5000);

// A program started in the background, its stdout and stderr going to a log
// file; killed and reaped when the object goes, unless it already exited.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;
  ~ChildProcess();

  // Starts argv[0] (an absolute path) in cwd, with the given environment
  // ("NAME=value" entries) or, without one, the test's own.
  bool start(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
             const std::string &cwd, const std::string &log_path);
  bool start(const std::vector<std::string> &argv, const std::string &cwd,
             const std::string &log_path);

  pid_t pid() const { return pid_; }
  // True once the process has exited (it is then reaped).
  bool exited();
  int exit_status() const { return exit_status_; }  // -1 unless it exited normally
  int signal() const { return signal_; }            // the signal that ended it, or 0
  // How it ended, for failure messages.
  std::string ending();

 private:
  bool spawn(const std::vector<std::string> &argv, const std::vector<std::string> *environment,
             const std::string &cwd, const std::string &log_path);

  pid_t pid_ = -1;
  bool reaped_ = false;
  int exit_status_ = -1;
  int signal_ = 0;
};

}  // namespace vorpix_test
