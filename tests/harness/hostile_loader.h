// The test loader of tests/loaders: a made-up format whose files make the
// loader abort, hang, or reach outside its process.
#pragma once

#include <string>

namespace vorpix_test {

// Points GDK_PIXBUF_MODULE_FILE at a private cache listing the system's
// loaders and the test loader.  Must run before GdkPixbuf first reads its
// loaders, so a test file calls it from a static initializer; the helper
// processes and programs the test starts inherit it.  False on failure.
bool install_hostile_loader();

// Writes a file of the test format asking for action (see the loader) and
// returns its path.
std::string write_hostile_file(const std::string &path, const std::string &action);

}  // namespace vorpix_test
