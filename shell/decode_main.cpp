#include <dlfcn.h>

#include <cstddef>
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

// A loader allocates its picture's pixels with these: the picture being
// decoded is placed in the shared memory the program maps, instead of being
// copied there afterwards.  Shared memory starts zeroed.
using Allocate = void *(*)(size_t, size_t);

extern "C" void *g_try_malloc0_n(size_t blocks, size_t block_bytes) {
  if (void *shared = decoder_helper_allocate(blocks, block_bytes)) return shared;
  static Allocate next = reinterpret_cast<Allocate>(dlsym(RTLD_NEXT, "g_try_malloc0_n"));
  return next ? next(blocks, block_bytes) : nullptr;
}

extern "C" void *g_try_malloc_n(size_t blocks, size_t block_bytes) {
  if (void *shared = decoder_helper_allocate(blocks, block_bytes)) return shared;
  static Allocate next = reinterpret_cast<Allocate>(dlsym(RTLD_NEXT, "g_try_malloc_n"));
  return next ? next(blocks, block_bytes) : nullptr;
}

extern "C" void g_free(void *mem) {
  if (decoder_helper_release(mem)) return;
  using Free = void (*)(void *);
  static Free next = reinterpret_cast<Free>(dlsym(RTLD_NEXT, "g_free"));
  if (next) next(mem);
}
