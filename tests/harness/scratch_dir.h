// Private directories for tests that write files, and pictures to put in them.
#pragma once

#include <glib.h>

#include <string>

namespace vorpix_test {

// A new directory "vorpix-test-XXXXXX" in the system's temporary directory,
// removed with everything in it when the object goes.  Its path has no
// symbolic links in it, as file choosers report folders.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  bool ok() const { return !path_.empty(); }  // false when it could not be made
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A TempDir that is also the working directory while it exists.
class ScratchDir : public TempDir {
 public:
  ScratchDir();
  ~ScratchDir();

 private:
  gchar *old_cwd_;
};

// Writes a width x height PNG of one opaque 0xRRGGBB colour; failing to is a
// fatal failure of the test.
void write_png(const std::string &path, int width, int height, guint32 rgb);

// The bytes of a file; "" when it cannot be read, which *ok (if given) tells.
std::string file_contents(const std::string &path, bool *ok = nullptr);

}  // namespace vorpix_test
