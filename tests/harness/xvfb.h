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

}  // namespace vorpix_test
