// The decoding helper's side, and the messages it exchanges with the program
// over a unix socket.  Only the decoder module and the helper use this.
#pragma once

#include <cstdint>

namespace decoder_protocol {

constexpr std::uint32_t kMagic = 0x76707864;  // "vpxd"
// The helper's end of the socket, given to it at this descriptor.
constexpr int kSocketFd = 3;
constexpr char kHelperName[] = "vorpix-decode";

constexpr int kHintLength = 256;

// Sent with the descriptor to read the picture from.  The hints choose the
// loader as the library does for a named file: the file's base name, or the
// MIME type the bytes came under; either may be empty.  Both end in a zero.
enum Kind : std::int32_t {
  KIND_FILE = 0,   // read as the library reads a named file
  KIND_BYTES = 1,  // fed to a loader, as bytes from the clipboard
};

struct Request {
  std::uint32_t magic;
  std::int32_t kind;
  std::int32_t max_side;
  std::int64_t max_pixels;
  char name[kHintLength];
  char mime_type[kHintLength];
  // A file only: when above 0, the picture is wanted at most this many
  // pixels a side, its proportions kept (smaller pictures keep their size).
  std::int32_t thumbnail_side;
};

enum Status : std::int32_t {
  STATUS_OK = 0,
  STATUS_NOT_A_PICTURE = 1,
  STATUS_TOO_LARGE = 2,
  STATUS_NO_MEMORY = 3,
};

// With STATUS_OK, sent with a memfd of height rows of rowstride bytes;
// with STATUS_TOO_LARGE, the size the picture claimed.
struct Reply {
  std::uint32_t magic;
  std::int32_t status;
  std::int32_t width;
  std::int32_t height;
  std::int32_t channels;  // 3 or 4
};

// The rows' spacing in the shared memory, as GdkPixbuf lays them out.
inline std::int64_t rowstride(std::int32_t width, std::int32_t channels) {
  return (std::int64_t(width) * channels + 3) & ~std::int64_t(3);
}

}  // namespace decoder_protocol

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstddef>
#include <cstdio>

// The enabled format one of whose MIME types is the content type, or null;
// with mime_type, also that MIME type (freed by the caller).
GdkPixbufFormat *decoder_format_of_type(const gchar *content_type, gchar **mime_type);

// Sends length bytes of data on a socket with fd passed beside them (none
// when fd is -1); false unless all of them went.
bool decoder_send_with_fd(int socket, const void *data, size_t length, int fd);

// The helper's input as a stream, when the library opens it by the name the
// helper gave it; null for any other name.  Only the helper executable's
// replacement of the C library's fopen64 calls this.
FILE *decoder_helper_open_input(const char *path);

// Shared memory for the decoded picture's pixels, when the library asks for
// blocks of block_bytes that are the rows of the picture being decoded; null
// for any other request.  The first such block only, so the program maps the
// loader's own buffer and nothing copies it.  Only the helper executable's
// replacement of GLib's allocator calls these.
void *decoder_helper_allocate(size_t blocks, size_t block_bytes);
// True when mem is that shared block, which is unmapped.
bool decoder_helper_release(void *mem);

// The helper's entry point: argv[1] is the program's process id.  Serves one
// request on kSocketFd and returns the exit status.
int decoder_helper_main(int argc, char **argv);
