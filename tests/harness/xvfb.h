// A private X server for tests and benchmarks, so that nothing depends on the
// caller's DISPLAY.
#pragma once

namespace vorpix_test {

// Starts Xvfb on a free display number (24-bit, 1280x1024 unless another
// screen, "WIDTHxHEIGHTxDEPTH", is asked for) and points DISPLAY at it.
// Returns false when the server could not be started.
bool start_xvfb(const char *screen = "1280x1024x24");
// The server's process id, or -1 when none was started.
int xvfb_pid();
// Stops the server started by start_xvfb, if any.
void stop_xvfb();

// While alive, the server started by start_xvfb may map only spare bytes
// more than it does now, so that it refuses a large pixmap.
class ServerMemoryLimit {
 public:
  explicit ServerMemoryLimit(unsigned long spare);
  ~ServerMemoryLimit();
  ServerMemoryLimit(const ServerMemoryLimit &) = delete;
  ServerMemoryLimit &operator=(const ServerMemoryLimit &) = delete;
  bool ok() const { return ok_; }

 private:
  unsigned long old_[2] = {};
  bool ok_ = false;
};

}  // namespace vorpix_test
