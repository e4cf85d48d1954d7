#include <dlfcn.h>

#include <cstdio>

#include "document/decoder_helper.h"

// The picture decoding helper the program starts for every outside picture.
int main(int argc, char **argv) { return decoder_helper_main(argc, argv); }

// The library's file loading opens files by name, which the helper may not:
// the name the helper gives its input opens the descriptor it holds instead.
extern "C" FILE *fopen64(const char *path, const char *mode) {
  if (FILE *input = decoder_helper_open_input(path)) return input;
  using Open = FILE *(*)(const char *, const char *);
  static Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fopen64"));
  return next ? next(path, mode) : nullptr;
}
