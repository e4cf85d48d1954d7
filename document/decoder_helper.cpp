#include "document/decoder_helper.h"

#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <poll.h>
#include <pthread.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace decoder_protocol;

constexpr size_t kReadChunk = 64 * 1024;
// What the library's file information reads at a time to find the size.
constexpr size_t kHeaderChunk = 4096;
// The largest shared block filled in advance (an 8192 x 8192 RGBA picture).
constexpr size_t kPopulateLimit = size_t(256) << 20;
// The side of the pictures decoded to make the helper ready.
constexpr int kSampleSide = 64;
// The name under which the library's file loading opens the helper's input.
constexpr char kInputFolder[] = "/vorpix-decode-input";

// The descriptor being read, while the library opens it by name.
int helper_input = -1;
// Beyond the address space the loaders had once loaded, a decode may hold the
// picture twice (a loader's own surface and the pixbuf) and some working
// memory.
constexpr int kPictureCopies = 2;
constexpr rlim_t kMemoryMargin = rlim_t(512) << 20;
// The program stops a decode at 30 s of waiting; processor time past that
// ends the helper even if the program cannot.
constexpr rlim_t kCpuSeconds = 30;

struct SizeGuard {
  std::int32_t max_side;
  std::int64_t max_pixels;
  bool too_large = false;
  bool known = false;        // the loader announced the size
  bool header_only = false;  // stop once the size is known, before allocating
  bool unsized = false;      // the loader cannot tell the size without decoding
  int width = 0;
  int height = 0;
};

// The shared block the library may be given for the picture's pixels: the
// picture's height in rows of one of its two possible spacings.
struct SharedPixels {
  int height = 0;  // none is expected while 0
  std::int64_t strides[2] = {};
  int fd = -1;  // once given
  void *address = nullptr;  // while mapped
  size_t length = 0;
  bool keep_mapped = false;  // handed over: its release leaves it mapped
  pthread_t filler;          // faults the pages in while the loader decodes
  bool filling = false;
};
SharedPixels shared;

constexpr size_t kFillerStack = 64 * 1024;
// The smallest shared block whose pages the filler thread faults in.
constexpr size_t kFillerFrom = size_t(8) << 20;

// Blocks of shared memory made and faulted in while the helper waits, one of
// each size from the smallest, doubling: fresh shared pages cost more than
// the decode of a small picture.  A picture takes the smallest that holds it,
// its tail cut off.
constexpr size_t kPoolSmallest = 64 * 1024;
constexpr int kPoolBlocks = 7;  // up to 4 MiB
struct Block {
  int fd = -1;
  void *address = nullptr;
  size_t length = 0;
};
Block pool[kPoolBlocks];

bool request_waiting() {
  struct pollfd socket = {kSocketFd, POLLIN, 0};
  return poll(&socket, 1, 0) != 0;
}

// A new memfd of length bytes, mapped, its pages faulted in at once with
// populate; one with no descriptor on failure.
Block new_block(size_t length, bool populate) {
  const int fd = memfd_create("vorpix-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  void *address = fd >= 0 && ftruncate(fd, off_t(length)) == 0
                      ? mmap(nullptr, length, PROT_READ | PROT_WRITE,
                             MAP_SHARED | (populate ? MAP_POPULATE : 0), fd, 0)
                      : MAP_FAILED;
  if (address != MAP_FAILED) return Block{fd, address, length};
  if (fd >= 0) close(fd);
  return Block();
}

// Stops early once the program's request is there: it is not kept waiting.
void fill_pool() {
  for (int i = 0; i < kPoolBlocks && !request_waiting(); i++) {
    pool[i] = new_block(kPoolSmallest << i, true);
    if (pool[i].fd < 0) return;
  }
}

// The smallest waiting block that holds length bytes, cut to them; a block
// with no descriptor when none does.
Block take_pooled(size_t length) {
  for (Block &block : pool) {
    if (block.fd < 0 || block.length < length) continue;
    if (ftruncate(block.fd, off_t(length)) != 0) return Block();
    const Block taken = block;
    block = Block();
    return taken;
  }
  return Block();
}

// A large picture's memory is better spent on the picture.
void empty_pool() {
  for (Block &block : pool) {
    if (block.fd < 0) continue;
    munmap(block.address, block.length);
    close(block.fd);
    block = Block();
  }
}

void *fill_pages(void *) {
  empty_pool();
  if (shared.length <= kPopulateLimit)
    madvise(shared.address, shared.length, MADV_POPULATE_WRITE);
  return nullptr;
}

// Waits for the pages' filler, if any.
void stop_filling() {
  if (shared.filling) pthread_join(shared.filler, nullptr);
  shared.filling = false;
}

// The picture about to be decoded: its pixels will go to shared memory.
void expect_pixels(int width, int height) {
  if (shared.fd >= 0) return;
  shared.height = height;
  shared.strides[0] = rowstride(width, 3);
  shared.strides[1] = rowstride(width, 4);
}

// A requested size of 0 makes the loader stop with an error before it
// allocates the picture.
void on_size_prepared(GdkPixbufLoader *loader, gint width, gint height, gpointer data) {
  auto *guard = static_cast<SizeGuard *>(data);
  guard->known = true;
  guard->width = width;
  guard->height = height;
  // The size alone is wanted: the loader stops before it allocates the picture.
  if (guard->header_only) gdk_pixbuf_loader_set_size(loader, 0, 0);
  if (width > 0 && height > 0 && width <= guard->max_side && height <= guard->max_side &&
      std::int64_t(width) * height <= guard->max_pixels) {
    if (!guard->header_only) expect_pixels(width, height);
    return;
  }
  guard->too_large = true;
  gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// Loaders are modules loaded at their first use: load every one now, while
// files may still be opened.
void load_every_loader() {
  GSList *formats = gdk_pixbuf_get_formats();
  for (GSList *node = formats; node; node = node->next) {
    gchar *name = gdk_pixbuf_format_get_name(static_cast<GdkPixbufFormat *>(node->data));
    if (GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_type(name, nullptr)) {
      gdk_pixbuf_loader_close(loader, nullptr);
      g_object_unref(loader);
    }
    g_free(name);
  }
  g_slist_free(formats);
  // Guessing a type without a name reads the shared MIME database, once.
  static const guchar sample[] = "\x89PNG\r\n\x1a\n";
  g_free(g_content_type_guess(nullptr, sample, sizeof sample - 1, nullptr));
  // The language names, which the SVG loader asks for, read the locale
  // aliases once.
  g_get_language_names();
  // Error messages name the file in the user's encoding, read once.
  g_free(g_filename_display_name("input"));
}

rlim_t address_space_now() {
  FILE *statm = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (statm) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
}

void limit(int resource, rlim_t value) {
  struct rlimit lim = {value, value};
  setrlimit(resource, &lim);
}

// Everything decoding needs, and nothing that reaches outside the process:
// no opening of files, no sockets, no new processes.
bool install_filter() {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
  if (!ctx) return false;
  const int allowed[] = {
      SCMP_SYS(read),         SCMP_SYS(readv),         SCMP_SYS(pread64),
      SCMP_SYS(write),        SCMP_SYS(writev),        SCMP_SYS(pwrite64),
      SCMP_SYS(lseek),        SCMP_SYS(fstat),         SCMP_SYS(newfstatat),
      SCMP_SYS(close),        SCMP_SYS(fcntl),  SCMP_SYS(dup),         SCMP_SYS(ftruncate),
      SCMP_SYS(memfd_create), SCMP_SYS(mmap),          SCMP_SYS(munmap),
      SCMP_SYS(mremap),       SCMP_SYS(mprotect),      SCMP_SYS(madvise),
      SCMP_SYS(brk),          SCMP_SYS(futex),         SCMP_SYS(sendmsg),
      SCMP_SYS(recvmsg),      SCMP_SYS(exit),          SCMP_SYS(exit_group),
      SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction),
      SCMP_SYS(sigaltstack),  SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday),
      SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep),  SCMP_SYS(getrandom),
      SCMP_SYS(getpid),       SCMP_SYS(gettid),        SCMP_SYS(tgkill),
      SCMP_SYS(sched_yield),  SCMP_SYS(sched_getaffinity), SCMP_SYS(set_robust_list),
      SCMP_SYS(rseq),         SCMP_SYS(prlimit64),     SCMP_SYS(getrusage),
      SCMP_SYS(sysinfo),
  };
  bool ok = true;
  for (int call : allowed) ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0;
  // Threads, which some loaders start, but no new processes.
  ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                              SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) == 0;
  // clone3's flags cannot be inspected: the C library falls back to clone.
  ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
  // Terminal queries of the logging code.
  ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl), 0) == 0;
  ok = ok && seccomp_load(ctx) == 0;
  seccomp_release(ctx);
  return ok;
}

bool receive_request(Request *request, int *input) {
  char control[CMSG_SPACE(sizeof(int))] = {};
  struct iovec iov = {request, sizeof *request};
  struct msghdr msg = {};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t got;
  do got = recvmsg(kSocketFd, &msg, MSG_CMSG_CLOEXEC);
  while (got < 0 && errno == EINTR);
  if (got != ssize_t(sizeof *request) || request->magic != kMagic) return false;
  struct cmsghdr *cmsg = CMSG_FIRSTHDR(&msg);
  if (!cmsg || cmsg->cmsg_level != SOL_SOCKET || cmsg->cmsg_type != SCM_RIGHTS) return false;
  std::memcpy(input, CMSG_DATA(cmsg), sizeof(int));
  request->name[kHintLength - 1] = '\0';
  request->mime_type[kHintLength - 1] = '\0';
  return request->max_side > 0 && request->max_pixels > 0;
}

bool send_reply(const Reply &reply, int memfd) {
  return decoder_send_with_fd(kSocketFd, &reply, sizeof reply, memfd);
}

bool write_all(int fd, const guchar *data, size_t length, off_t offset) {
  while (length > 0) {
    ssize_t done = pwrite(fd, data, length, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    length -= size_t(done);
    offset += done;
  }
  return true;
}

// Fixed in size, so the program's mapping can never fault past the file's
// end.  Writing stays possible while the helper lives, which does no harm:
// the pixels may hold any values, and the program ends the helper as soon as
// it answers.
bool seal(int fd) {
  return fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0;
}

// The pixels copied into a new memfd, rows at the protocol's spacing; -1 on
// failure.
int copy_to_memfd(GdkPixbuf *pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const std::int64_t stride = rowstride(width, channels);
  const int fd = memfd_create("vorpix-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  bool ok = ftruncate(fd, off_t(stride * height)) == 0;
  const guchar *pixels = gdk_pixbuf_read_pixels(pixbuf);
  const std::int64_t source_stride = gdk_pixbuf_get_rowstride(pixbuf);
  const size_t row_bytes = size_t(width) * size_t(channels);
  if (ok && source_stride == stride) {
    // The last row of a pixbuf may be short of the full spacing.
    const size_t length = size_t(stride) * size_t(height - 1) + row_bytes;
    ok = write_all(fd, pixels, length, 0);
  } else {
    for (int y = 0; ok && y < height; y++)
      ok = write_all(fd, pixels + source_stride * y, row_bytes, off_t(stride * y));
  }
  if (!ok || !seal(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

// The pixels in a sealed memfd for the program; -1 on failure.  Takes the
// caller's reference to the picture.
int pixels_to_memfd(GdkPixbuf *pixbuf) {
  const std::int64_t stride =
      rowstride(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_n_channels(pixbuf));
  // The loader's own buffer is passed on as it is.  It stays mapped: taking
  // the mapping down costs more than the decode of a small picture, and the
  // helper's end does it after the answer.
  if (!shared.address || gdk_pixbuf_read_pixels(pixbuf) != shared.address ||
      gdk_pixbuf_get_rowstride(pixbuf) != stride || G_OBJECT(pixbuf)->ref_count != 1) {
    const int fd = copy_to_memfd(pixbuf);
    g_object_unref(pixbuf);
    return fd;
  }
  const int fd = shared.fd;
  shared.fd = -1;
  shared.keep_mapped = true;
  g_object_unref(pixbuf);
  if (seal(fd)) return fd;
  close(fd);
  return -1;
}

ssize_t read_some(int input, guchar *buffer, size_t size) {
  ssize_t got;
  do got = read(input, buffer, size);
  while (got < 0 && errno == EINTR);
  return got;
}

// The first enabled format one of whose listed strings (its extensions or
// its MIME types, as list gives them) matches, or null.
template <typename Matches>
GdkPixbufFormat *find_format(gchar **(*list)(GdkPixbufFormat *), Matches matches) {
  GdkPixbufFormat *found = nullptr;
  GSList *formats = gdk_pixbuf_get_formats();
  for (GSList *node = formats; node && !found; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    if (gdk_pixbuf_format_is_disabled(format)) continue;
    gchar **strings = list(format);
    for (gchar **string = strings; string && *string && !found; string++)
      if (matches(*string)) found = format;
    g_strfreev(strings);
  }
  g_slist_free(formats);
  return found;
}

// The format that claims the name's extension, or null.
gchar *format_of_name(const char *name) {
  const char *dot = strrchr(name, '.');
  if (!dot || !dot[1]) return nullptr;
  GdkPixbufFormat *found = find_format(gdk_pixbuf_format_get_extensions, [dot](const gchar *e) {
    return g_ascii_strcasecmp(e, dot + 1) == 0;
  });
  return found ? gdk_pixbuf_format_get_name(found) : nullptr;
}

// The format the library would choose for a file of this name starting with
// these bytes; bytes that do not tell are taken as offered (MIME type) or
// named (extension).  Null when none: a loader that sniffs the bytes itself.
gchar *choose_format(const Request &request, const guchar *head, size_t length) {
  gboolean uncertain = FALSE;
  gchar *content = g_content_type_guess(nullptr, head, length, &uncertain);
  if (uncertain || g_str_equal(content, "text/plain") ||
      g_str_equal(content, "application/gzip")) {
    g_free(content);
    content = request.mime_type[0] ? g_content_type_from_mime_type(request.mime_type) : nullptr;
    if (!content && request.name[0])
      content = g_content_type_guess(request.name, head, length, nullptr);
  }
  gchar *format = nullptr;
  if (GdkPixbufFormat *found = content ? decoder_format_of_type(content, nullptr) : nullptr)
    format = gdk_pixbuf_format_get_name(found);
  // A type the shared database does not know may still be a loader's own.
  if (!format && request.name[0]) format = format_of_name(request.name);
  g_free(content);
  return format;
}

// The picture as the library reads a file of this name, from the input's
// start, scaled down to fit side when that is above 0; a partial picture
// that comes with an error is none.
GdkPixbuf *decode_as_file(int input, const char *name, GError **error, int side = 0) {
  if (lseek(input, 0, SEEK_SET) != 0) return nullptr;
  helper_input = input;
  const std::string path = std::string(kInputFolder) + "/" + (name[0] ? name : "input");
  GdkPixbuf *pixbuf = side > 0 ? gdk_pixbuf_new_from_file_at_size(path.c_str(), side, side, error)
                               : gdk_pixbuf_new_from_file(path.c_str(), error);
  helper_input = -1;
  if (pixbuf && *error) g_clear_object(&pixbuf);
  return pixbuf;
}

void on_area_prepared(GdkPixbufLoader *loader, gpointer data) {
  auto *guard = static_cast<SizeGuard *>(data);
  if (guard->known) return;
  GdkPixbuf *pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  guard->known = pixbuf != nullptr;
  if (pixbuf) {
    guard->width = gdk_pixbuf_get_width(pixbuf);
    guard->height = gdk_pixbuf_get_height(pixbuf);
  }
}

// Feeds a loader from input, from where it stands; with header_only, in small
// pieces and only until the picture's size is known.  The picture (a new
// reference) or null.
GdkPixbuf *run_loader(int input, const Request &request, bool header_only, SizeGuard *guard,
                      GError **error) {
  static guchar buffer[kReadChunk];
  const size_t chunk = header_only ? kHeaderChunk : sizeof buffer;
  ssize_t got = read_some(input, buffer, chunk);
  if (got < 0) return nullptr;
  gchar *format = choose_format(request, buffer, size_t(got));
  // The XPM loader is fed through a temporary file, which the helper may not
  // make: it reads the input as a file, and its picture is checked once
  // decoded.
  if (format && g_str_equal(format, "xpm")) {
    g_free(format);
    guard->unsized = true;
    return header_only ? nullptr : decode_as_file(input, "input.xpm", error);
  }
  GdkPixbufLoader *loader = format ? gdk_pixbuf_loader_new_with_type(format, nullptr) : nullptr;
  if (!loader) loader = gdk_pixbuf_loader_new();
  g_free(format);
  g_signal_connect(loader, "size-prepared", G_CALLBACK(on_size_prepared), guard);
  g_signal_connect(loader, "area-prepared", G_CALLBACK(on_area_prepared), guard);
  bool ok = true;
  for (bool first = true; ok && !(header_only && guard->known); first = false) {
    if (!first) got = read_some(input, buffer, chunk);
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    // A failed write closes the loader itself.
    ok = gdk_pixbuf_loader_write(loader, buffer, size_t(got), error);
  }
  if (header_only) {
    gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
    return nullptr;
  }
  if (ok)
    ok = gdk_pixbuf_loader_close(loader, error);
  else if (!*error)
    gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf *pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

// A picture that fits the request's thumbnail side.  The library scales
// while it reads, except for a picture whose size is told only by reading
// it whole (XPM, whose loader cannot be fed in pieces here).
GdkPixbuf *decode_thumbnail(int input, const Request &request, const SizeGuard &guard,
                            GError **error) {
  const int side = request.thumbnail_side;
  if (guard.known && (guard.width > side || guard.height > side))
    return decode_as_file(input, request.name, error, side);
  GdkPixbuf *pixbuf = decode_as_file(input, request.name, error);
  if (!pixbuf) return nullptr;
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  if (width <= side && height <= side) return pixbuf;
  // Checked here, as the scaled picture would pass.
  if (width > request.max_side || height > request.max_side ||
      std::int64_t(width) * height > request.max_pixels) {
    g_object_unref(pixbuf);
    return nullptr;
  }
  const double scale = std::min(double(side) / width, double(side) / height);
  GdkPixbuf *scaled =
      gdk_pixbuf_scale_simple(pixbuf, std::max(1, int(width * scale + 0.5)),
                              std::max(1, int(height * scale + 0.5)), GDK_INTERP_BILINEAR);
  g_object_unref(pixbuf);
  return scaled;
}

// A file is read as the library reads a named file, which for some formats
// differs from feeding a loader (a truncated file, say): the size is read
// first, as the library's file information does, and only a picture within
// the limits is decoded.
GdkPixbuf *decode_file(int input, const Request &request, SizeGuard *guard, GError **error) {
  guard->header_only = true;
  run_loader(input, request, true, guard, nullptr);
  guard->header_only = false;
  if ((!guard->known && !guard->unsized) || guard->too_large) return nullptr;
  if (request.thumbnail_side > 0) return decode_thumbnail(input, request, *guard, error);
  expect_pixels(guard->width, guard->height);
  GdkPixbuf *pixbuf = decode_as_file(input, request.name, error);
  // A loader the shared type database does not know is still the helper's
  // choice by the file's extension.
  if (!pixbuf && g_error_matches(*error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_UNKNOWN_TYPE) &&
      lseek(input, 0, SEEK_SET) == 0) {
    g_clear_error(error);
    pixbuf = run_loader(input, request, false, guard, error);
  }
  return pixbuf;
}

// The first decode in a process pays for reaching the decoding code and for
// growing the allocator's memory: a small picture of each of the commonest
// formats is decoded the way a file is, while the helper waits for its
// request.
void warm_up() {
  GdkPixbuf *sample = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kSampleSide, kSampleSide);
  if (!sample) return;
  guchar *pixels = gdk_pixbuf_get_pixels(sample);
  const int stride = gdk_pixbuf_get_rowstride(sample);
  for (int y = 0; y < kSampleSide; y++)
    for (int x = 0; x < kSampleSide * 3; x++) pixels[y * stride + x] = guchar(x * 5 + y * 3);
  for (const char *name : {"sample.png", "sample.jpg"}) {
    gchar *bytes = nullptr;
    gsize length = 0;
    const char *format = g_str_has_suffix(name, ".png") ? "png" : "jpeg";
    const int fd = memfd_create("vorpix-sample", MFD_CLOEXEC);
    if (fd >= 0 && gdk_pixbuf_save_to_buffer(sample, &bytes, &length, format, nullptr, nullptr) &&
        write_all(fd, reinterpret_cast<guchar *>(bytes), length, 0)) {
      Request request = {kMagic, KIND_FILE, kSampleSide, kSampleSide * kSampleSide, {}, {}, 0};
      g_strlcpy(request.name, name, sizeof request.name);
      SizeGuard guard = {request.max_side, request.max_pixels};
      GError *error = nullptr;
      if (GdkPixbuf *decoded = decode_file(fd, request, &guard, &error)) g_object_unref(decoded);
      g_clear_error(&error);
    }
    g_free(bytes);
    if (fd >= 0) close(fd);
    // The sample's shared block is not the picture's.
    decoder_helper_release(shared.address);
    if (shared.fd >= 0) close(shared.fd);
    shared = SharedPixels();
  }
  g_object_unref(sample);
}

Reply decode(int input, const Request &request, GdkPixbuf **result) {
  Reply reply = {kMagic, STATUS_NOT_A_PICTURE, 0, 0, 0};
  SizeGuard guard = {request.max_side, request.max_pixels};
  GError *error = nullptr;
  GdkPixbuf *pixbuf = request.kind == KIND_FILE
                          ? decode_file(input, request, &guard, &error)
                          : run_loader(input, request, false, &guard, &error);
  // A loader that never announced its size is checked afterwards.
  if (pixbuf) {
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    if (width <= 0 || height <= 0 || width > request.max_side || height > request.max_side ||
        std::int64_t(width) * height > request.max_pixels) {
      guard.too_large = true;
      guard.width = width;
      guard.height = height;
    }
  }
  if (guard.too_large) {
    reply.status = STATUS_TOO_LARGE;
    reply.width = guard.width;
    reply.height = guard.height;
  } else if (pixbuf && gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 &&
             gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB &&
             (gdk_pixbuf_get_n_channels(pixbuf) == 3 || gdk_pixbuf_get_n_channels(pixbuf) == 4)) {
    reply.status = STATUS_OK;
    reply.width = gdk_pixbuf_get_width(pixbuf);
    reply.height = gdk_pixbuf_get_height(pixbuf);
    reply.channels = gdk_pixbuf_get_n_channels(pixbuf);
    *result = GDK_PIXBUF(g_object_ref(pixbuf));
  } else if (g_error_matches(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY)) {
    reply.status = STATUS_NO_MEMORY;
  }
  g_clear_error(&error);
  if (pixbuf) g_object_unref(pixbuf);
  return reply;
}

}  // namespace

GdkPixbufFormat *decoder_format_of_type(const gchar *content_type, gchar **mime_type) {
  return find_format(gdk_pixbuf_format_get_mime_types, [=](const gchar *type) {
    gchar *content = g_content_type_from_mime_type(type);
    const bool same = content && g_content_type_equals(content, content_type);
    g_free(content);
    if (same && mime_type) *mime_type = g_strdup(type);
    return same;
  });
}

bool decoder_send_with_fd(int socket, const void *data, size_t length, int fd) {
  char control[CMSG_SPACE(sizeof(int))] = {};
  struct iovec iov = {const_cast<void *>(data), length};
  struct msghdr msg = {};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  if (fd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    struct cmsghdr *cmsg = CMSG_FIRSTHDR(&msg);
    cmsg->cmsg_level = SOL_SOCKET;
    cmsg->cmsg_type = SCM_RIGHTS;
    cmsg->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(cmsg), &fd, sizeof(int));
  }
  ssize_t sent;
  do sent = sendmsg(socket, &msg, MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  return sent == ssize_t(length);
}

void *decoder_helper_allocate(size_t blocks, size_t block_bytes) {
  if (shared.fd >= 0 || shared.height <= 0 || blocks != size_t(shared.height) ||
      (block_bytes != size_t(shared.strides[0]) && block_bytes != size_t(shared.strides[1])))
    return nullptr;
  size_t length;
  if (__builtin_mul_overflow(blocks, block_bytes, &length)) return nullptr;
  // Fresh shared pages cost more to fault in than the loader takes to fill
  // them.  A small picture's are faulted in at once, which is cheaper than a
  // fault for every page as the loader writes; a large picture's by another
  // thread ahead of the loader, on another processor, which costs about a
  // millisecond to set going.  Not a giant picture's, which a short file may
  // claim and never fill.
  const bool fill_later = length >= kFillerFrom;
  Block block = take_pooled(length);
  if (block.fd < 0) block = new_block(length, !fill_later);
  if (block.fd < 0) return nullptr;
  shared.fd = block.fd;
  shared.address = block.address;
  shared.length = block.length;
  if (fill_later) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kFillerStack);
    shared.filling = pthread_create(&shared.filler, &attr, fill_pages, nullptr) == 0;
    pthread_attr_destroy(&attr);
  }
  return block.address;
}

bool decoder_helper_release(void *mem) {
  if (!mem || mem != shared.address) return false;
  stop_filling();
  if (!shared.keep_mapped) munmap(shared.address, shared.length);
  shared.address = nullptr;
  return true;
}

FILE *decoder_helper_open_input(const char *path) {
  const size_t folder = strlen(kInputFolder);
  if (helper_input < 0 || strncmp(path, kInputFolder, folder) != 0 || path[folder] != '/')
    return nullptr;
  const int fd = dup(helper_input);
  FILE *file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (!file && fd >= 0) close(fd);
  return file;
}

int decoder_helper_main(int argc, char **argv) {
  // Gone with the program, even when it is killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (argc < 2 || getppid() != pid_t(std::atoll(argv[1]))) return 2;
  // Nothing of the program's but the socket and the standard streams.
  close_range(kSocketFd + 1, ~0U, 0);
  // A crash leaves no core file and no process may trace the helper.
  limit(RLIMIT_CORE, 0);
  prctl(PR_SET_DUMPABLE, 0);

  load_every_loader();
  warm_up();
  fill_pool();
  const rlim_t base = address_space_now();
  if (!install_filter()) return 3;

  Request request;
  int input = -1;
  if (!receive_request(&request, &input)) return 0;  // the program went or changed its mind
  const rlim_t picture = rlim_t(request.max_pixels) * 4;
  limit(RLIMIT_AS, base + kPictureCopies * picture + kMemoryMargin);
  limit(RLIMIT_CPU, kCpuSeconds);

  GdkPixbuf *pixbuf = nullptr;
  Reply reply = decode(input, request, &pixbuf);
  close(input);
  int memfd = -1;
  if (pixbuf) {
    memfd = pixels_to_memfd(pixbuf);
    if (memfd < 0) reply = Reply{kMagic, STATUS_NO_MEMORY, 0, 0, 0};
  }
  send_reply(reply, memfd);
  // An ending process takes its address space down, which on the program's
  // processor delays the program that waits for the answer: the helper
  // sleeps until the program ends it (or closes the socket).
  char end;
  while (read(kSocketFd, &end, 1) < 0 && errno == EINTR) {
  }
  return 0;
}
