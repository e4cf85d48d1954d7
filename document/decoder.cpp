#include "document/decoder.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib/gi18n.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "document/decoder_helper.h"

extern char **environ;

namespace {

using namespace decoder_protocol;

// The X protocol's largest pixmap side, and the pixel count past which a
// small file claiming a giant size is refused.
constexpr int kFileMaxSide = 32767;
constexpr gint64 kFileMaxPixels = gint64(1) << 28;
constexpr guint kProgressDelayMs = 1000;
constexpr guint kPulseMs = 100;
constexpr guint kTimeLimitMs = 30000;
// A preview is not worth a longer wait.
constexpr guint kPreviewLimitMs = 2000;
// Tests shorten the time limit with this variable (milliseconds).
constexpr char kTimeLimitVariable[] = "VORPIX_DECODE_TIME_LIMIT_MS";
// The helper's socket is moved above the descriptors spawning rearranges.
constexpr int kHighFd = 10;

struct Helper {
  pid_t pid = -1;
  int socket = -1;
};

// A helper started in advance, waiting for its request.
Helper spare;

std::string helper_path() {
  gchar *self = g_file_read_link("/proc/self/exe", nullptr);
  if (!self) return kHelperName;
  gchar *dir = g_path_get_dirname(self);
  gchar *path = g_build_filename(dir, kHelperName, nullptr);
  std::string result = path;
  g_free(path);
  g_free(dir);
  g_free(self);
  return result;
}

bool spawn_helper(Helper *helper) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  int child_end = pair[1];
  if (child_end < kHighFd) {
    child_end = fcntl(pair[1], F_DUPFD_CLOEXEC, kHighFd);
    close(pair[1]);
  }
  if (child_end < 0) {
    close(pair[0]);
    return false;
  }
  const std::string path = helper_path();
  const std::string parent = std::to_string(getpid());
  char *argv[] = {const_cast<char *>(path.c_str()), const_cast<char *>(parent.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, child_end, kSocketFd);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(child_end);
  if (failed) {
    g_warning("Cannot start the picture decoder %s: %s", path.c_str(), g_strerror(failed));
    close(pair[0]);
    return false;
  }
  helper->pid = pid;
  helper->socket = pair[0];
  return true;
}

// Stops and reaps the helper; the wait status, or -1.
int end_helper(Helper *helper) {
  int status = -1;
  if (helper->pid > 0) {
    kill(helper->pid, SIGKILL);
    while (waitpid(helper->pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (helper->socket >= 0) close(helper->socket);
  *helper = Helper();
  return status;
}

void ignore_exit(GPid pid, gint, gpointer) { g_spawn_close_pid(pid); }

// Kills the helper and lets the main loop reap it.
void leave_helper(Helper *helper) {
  kill(helper->pid, SIGKILL);
  g_child_watch_add(helper->pid, ignore_exit, nullptr);
  close(helper->socket);
  *helper = Helper();
}

guint spare_idle = 0;

gboolean on_idle_prepare(gpointer) {
  spare_idle = 0;
  decoder_prepare();
  return G_SOURCE_REMOVE;
}

// A helper of its own for this decode: the spare if it is still there.
bool take_helper(Helper *helper) {
  if (spare.pid > 0) {
    *helper = spare;
    spare = Helper();
    int status;
    if (waitpid(helper->pid, &status, WNOHANG) == 0) return true;
    helper->pid = -1;  // reaped already
    end_helper(helper);
  }
  return spawn_helper(helper);
}

// What one decode asks of its helper.
struct Job {
  int input;  // the caller's descriptor
  DecoderLimits limits;
  const char *name_hint;  // a file's base name; null for bytes
  const char *type_hint;  // the MIME type bytes came under, or null
  int thumbnail_side;     // a file only: above 0, a picture at most this big
  guint time_limit_ms;
};

bool send_request(const Helper &helper, const Job &job) {
  // A file always comes with its name; bytes never do.
  Request request = {kMagic, job.name_hint ? KIND_FILE : KIND_BYTES, job.limits.max_side,
                     job.limits.max_pixels, {}, {}, job.thumbnail_side};
  if (job.name_hint) g_strlcpy(request.name, job.name_hint, sizeof request.name);
  if (job.type_hint) g_strlcpy(request.mime_type, job.type_hint, sizeof request.mime_type);
  return decoder_send_with_fd(helper.socket, &request, sizeof request, job.input);
}

// The reply, and its memfd (or -1); false when the helper sent none.
bool receive_reply(const Helper &helper, Reply *reply, int *memfd) {
  *memfd = -1;
  char control[CMSG_SPACE(sizeof(int))] = {};
  struct iovec iov = {reply, sizeof *reply};
  struct msghdr msg = {};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t got;
  do got = recvmsg(helper.socket, &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
  while (got < 0 && errno == EINTR);
  if (got <= 0) return false;
  for (struct cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    // Only one descriptor is expected; any other is closed unused.
    const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; i++) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      if (*memfd < 0)
        *memfd = fd;
      else
        close(fd);
    }
  }
  return got == ssize_t(sizeof *reply) && reply->magic == kMagic;
}

void unmap_pixels(guchar *pixels, gpointer length) {
  munmap(pixels, GPOINTER_TO_SIZE(length));
}

// The helper's pixels as a pixbuf; null when they do not match the reply.
GdkPixbuf *map_pixels(const Reply &reply, int memfd, const DecoderLimits &limits) {
  if (reply.width <= 0 || reply.height <= 0 || reply.width > limits.max_side ||
      reply.height > limits.max_side ||
      gint64(reply.width) * reply.height > limits.max_pixels ||
      (reply.channels != 3 && reply.channels != 4))
    return nullptr;
  const gint64 stride = rowstride(reply.width, reply.channels);
  const gint64 length = stride * reply.height;
  // Sealed against shrinking: the helper, even if still there, cannot make
  // a read of the mapping fault.
  const int seals = fcntl(memfd, F_GET_SEALS);
  if (seals < 0 || !(seals & F_SEAL_SHRINK)) return nullptr;
  struct stat st;
  if (fstat(memfd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < length) return nullptr;
  void *pixels = mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_PRIVATE, memfd, 0);
  if (pixels == MAP_FAILED) return nullptr;
  return gdk_pixbuf_new_from_data(static_cast<guchar *>(pixels), GDK_COLORSPACE_RGB,
                                  reply.channels == 4, 8, reply.width, reply.height, int(stride),
                                  unmap_pixels, GSIZE_TO_POINTER(size_t(length)));
}

guint time_limit_ms() {
  const char *value = g_getenv(kTimeLimitVariable);
  if (!value || !*value) return kTimeLimitMs;
  const guint64 ms = g_ascii_strtoull(value, nullptr, 10);
  return ms > 0 && ms < kTimeLimitMs ? guint(ms) : kTimeLimitMs;
}

// One decode's wait for its helper, with the main loop running.
struct Wait {
  guint time_limit_ms = kTimeLimitMs;
  bool answered = false;  // the socket is readable or closed
  bool cancelled = false;
  bool timed_out = false;
  GtkWidget *parent = nullptr;   // the window whose input is held, or null
  GtkWindowGroup *group = nullptr;
  GtkWidget *dialog = nullptr;
  GtkWidget *bar = nullptr;
  std::string name;
  guint delay = 0;
  guint pulse = 0;
};

gboolean on_helper_socket(gint, GIOCondition, gpointer data) {
  static_cast<Wait *>(data)->answered = true;
  return G_SOURCE_REMOVE;
}

gboolean on_time_limit(gpointer data) {
  static_cast<Wait *>(data)->timed_out = true;
  return G_SOURCE_REMOVE;
}

gboolean on_progress_pulse(gpointer data) {
  auto *wait = static_cast<Wait *>(data);
  if (wait->bar) gtk_progress_bar_pulse(GTK_PROGRESS_BAR(wait->bar));
  return G_SOURCE_CONTINUE;
}

void on_progress_response(GtkDialog *, gint, gpointer data) {
  static_cast<Wait *>(data)->cancelled = true;
}

// Closing the dialog is Cancel, and the dialog stays until the wait ends.
gboolean on_progress_delete(GtkWidget *, GdkEvent *, gpointer data) {
  static_cast<Wait *>(data)->cancelled = true;
  return TRUE;
}

// The dialog is made at once, unseen, so its grab holds the window's input
// from the start; it shows only for a decode that takes long.
void make_progress_dialog(Wait *wait) {
  GtkWindow *parent = GTK_WINDOW(wait->parent);
  wait->group = gtk_window_group_new();
  gtk_window_group_add_window(wait->group, parent);
  gchar *text = g_strdup_printf(_("Opening %s…"), wait->name.c_str());
  wait->dialog = gtk_dialog_new_with_buttons(text, parent, GTK_DIALOG_DESTROY_WITH_PARENT,
                                             GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, nullptr);
  gtk_window_group_add_window(wait->group, GTK_WINDOW(wait->dialog));
  GtkWidget *box = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  gtk_box_pack_start(GTK_BOX(box), gtk_label_new(text), FALSE, FALSE, 0);
  g_free(text);
  wait->bar = gtk_progress_bar_new();
  gtk_box_pack_start(GTK_BOX(box), wait->bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(wait->dialog)->vbox), box, TRUE, TRUE, 0);
  gtk_widget_show_all(box);
  g_signal_connect(wait->dialog, "response", G_CALLBACK(on_progress_response), wait);
  g_signal_connect(wait->dialog, "delete-event", G_CALLBACK(on_progress_delete), wait);
  g_object_add_weak_pointer(G_OBJECT(wait->dialog), reinterpret_cast<gpointer *>(&wait->dialog));
  // Realized, so the window's input that the grab sends it is taken, unseen.
  gtk_widget_realize(wait->dialog);
  gtk_grab_add(wait->dialog);
}

gboolean on_progress_delay(gpointer data) {
  auto *wait = static_cast<Wait *>(data);
  wait->delay = 0;
  if (wait->dialog) {
    gtk_window_set_position(GTK_WINDOW(wait->dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_widget_show(wait->dialog);
    wait->pulse = g_timeout_add(kPulseMs, on_progress_pulse, wait);
  }
  return G_SOURCE_REMOVE;
}

void end_progress(Wait *wait) {
  if (wait->pulse) g_source_remove(wait->pulse);
  wait->bar = nullptr;
  if (wait->dialog) {
    gtk_grab_remove(wait->dialog);
    g_object_remove_weak_pointer(G_OBJECT(wait->dialog),
                                 reinterpret_cast<gpointer *>(&wait->dialog));
    gtk_widget_destroy(wait->dialog);
  }
  if (wait->group) {
    GtkWindow *parent = GTK_WINDOW(wait->parent);
    if (parent->group == wait->group) gtk_window_group_remove_window(wait->group, parent);
    g_object_unref(wait->group);
  }
}

// Runs the main loop until the helper answers, dies, or the wait ends.
void wait_for_helper(const Helper &helper, Wait *wait) {
  guint watch = g_unix_fd_add(helper.socket, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP |
                                                                      G_IO_ERR),
                              on_helper_socket, wait);
  guint limit = g_timeout_add(wait->time_limit_ms, on_time_limit, wait);
  if (wait->parent) {
    make_progress_dialog(wait);
    wait->delay = g_timeout_add(kProgressDelayMs, on_progress_delay, wait);
  }
  while (!wait->answered && !wait->cancelled && !wait->timed_out)
    g_main_context_iteration(nullptr, TRUE);
  if (!wait->answered) g_source_remove(watch);
  if (!wait->timed_out) g_source_remove(limit);
  if (wait->delay) g_source_remove(wait->delay);
  if (wait->parent) end_progress(wait);
}

void set_crash_error(GError **error, int status) {
  if (status >= 0 && WIFSIGNALED(status))
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_CRASHED, "the decoder was ended by signal %d",
                WTERMSIG(status));
  else
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_CRASHED, "the decoder ended without an answer");
}

// Decodes what the job's input holds in a helper.
GdkPixbuf *run_decode(const Job &job, GtkWidget *parent, const char *name, GError **error) {
  Helper helper;
  if (!take_helper(&helper)) {
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_NO_HELPER, "the decoder cannot be started");
    return nullptr;
  }
  if (!send_request(helper, job)) {
    set_crash_error(error, end_helper(&helper));
    return nullptr;
  }
  Wait wait;
  wait.time_limit_ms = job.time_limit_ms;
  if (parent && name && GTK_IS_WINDOW(parent) && GTK_WIDGET_REALIZED(parent)) {
    wait.parent = parent;
    g_object_ref(parent);
    wait.name = name;
  }
  wait_for_helper(helper, &wait);
  if (wait.parent) g_object_unref(wait.parent);

  Reply reply = {};
  int memfd = -1;
  const bool replied = wait.answered && receive_reply(helper, &reply, &memfd);
  // A helper that answered is ended without waiting for it (its memory takes
  // a while to go); its pixels are sealed.  Any other is reaped now.
  int status = -1;
  if (replied && !wait.cancelled && !wait.timed_out)
    leave_helper(&helper);
  else
    status = end_helper(&helper);
  if (wait.cancelled || wait.timed_out) {
    if (memfd >= 0) close(memfd);
    if (wait.cancelled)
      g_set_error(error, DECODER_ERROR, DECODER_ERROR_CANCELLED, "cancelled");
    else
      g_set_error(error, DECODER_ERROR, DECODER_ERROR_TIMED_OUT, "the decoder took too long");
    return nullptr;
  }
  if (!replied) {
    if (memfd >= 0) close(memfd);
    set_crash_error(error, status);
    return nullptr;
  }
  GdkPixbuf *pixbuf = nullptr;
  switch (reply.status) {
    case STATUS_OK:
      pixbuf = memfd >= 0 ? map_pixels(reply, memfd, job.limits) : nullptr;
      if (!pixbuf)
        g_set_error(error, DECODER_ERROR, DECODER_ERROR_CRASHED,
                    "the decoder's answer does not hold the picture");
      break;
    case STATUS_TOO_LARGE:
      g_set_error(error, DECODER_ERROR, DECODER_ERROR_TOO_LARGE,
                  "an image of %d by %d pixels is too large", reply.width, reply.height);
      break;
    case STATUS_NO_MEMORY:
      g_set_error(error, DECODER_ERROR, DECODER_ERROR_NO_MEMORY,
                  "not enough memory to decode the picture");
      break;
    default:
      g_set_error(error, DECODER_ERROR, DECODER_ERROR_NOT_A_PICTURE, "not a picture");
      break;
  }
  if (memfd >= 0) close(memfd);
  // The next decode finds a helper ready, its loaders loaded; started once
  // the program is idle, so that it does not compete with the caller.
  if (!spare_idle) spare_idle = g_idle_add_full(G_PRIORITY_LOW, on_idle_prepare, nullptr, nullptr);
  return pixbuf;
}

// A descriptor reading the file, or -1 when it is no readable regular file.
// Non-blocking: a pipe or a device named as a picture must not hang here.
int open_regular_file(const char *filename) {
  const int fd = open(filename, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    return -1;
  }
  return fd;
}

// The file decoded within limits, at most thumbnail_side a side when that
// is above 0.
GdkPixbuf *decode_named_file(const char *filename, const DecoderLimits &limits,
                             int thumbnail_side, guint time_limit, GtkWidget *parent,
                             GError **error) {
  const int fd = open_regular_file(filename);
  if (fd < 0) {
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_UNREADABLE, "not a readable file");
    return nullptr;
  }
  gchar *shown = g_filename_display_basename(filename);
  gchar *base = g_path_get_basename(filename);
  const Job job = {fd, limits, base, nullptr, thumbnail_side, time_limit};
  GdkPixbuf *pixbuf = run_decode(job, parent, shown, error);
  g_free(base);
  g_free(shown);
  close(fd);
  return pixbuf;
}

}  // namespace

GQuark decoder_error_quark() { return g_quark_from_static_string("vorpix-decoder-error"); }

DecoderLimits decoder_file_limits() { return DecoderLimits{kFileMaxSide, kFileMaxPixels}; }

gchar *decoder_file_mime_type(const char *filename) {
  g_return_val_if_fail(filename != nullptr, nullptr);
  guchar head[4096];
  gsize got = 0;
  const int fd = open_regular_file(filename);
  if (fd >= 0) {
    const ssize_t n = read(fd, head, sizeof head);
    if (n > 0) got = gsize(n);
    close(fd);
  }
  gchar *content = g_content_type_guess(filename, got ? head : nullptr, got, nullptr);
  gchar *mime_type = nullptr;
  decoder_format_of_type(content, &mime_type);
  g_free(content);
  return mime_type;
}

void decoder_prepare() {
  if (spare_idle) g_source_remove(spare_idle);
  spare_idle = 0;
  if (spare.pid > 0) return;
  spawn_helper(&spare);
}

GdkPixbuf *decoder_decode_file(const char *filename, GtkWidget *parent, GError **error) {
  g_return_val_if_fail(filename != nullptr, nullptr);
  return decode_named_file(filename, decoder_file_limits(), 0, time_limit_ms(), parent, error);
}

GdkPixbuf *decoder_decode_thumbnail(const char *filename, int max_side,
                                    const DecoderLimits &limits, GError **error) {
  g_return_val_if_fail(filename != nullptr, nullptr);
  g_return_val_if_fail(max_side > 0, nullptr);
  return decode_named_file(filename, limits, max_side, std::min(time_limit_ms(), kPreviewLimitMs),
                           nullptr, error);
}

GdkPixbuf *decoder_decode_bytes(const guchar *data, gsize length, const char *mime_type,
                                const DecoderLimits &limits, GtkWidget *parent, const char *name,
                                GError **error) {
  g_return_val_if_fail(data != nullptr || length == 0, nullptr);
  const int fd = memfd_create("vorpix-bytes", MFD_CLOEXEC);
  bool ok = fd >= 0;
  for (gsize done = 0; ok && done < length;) {
    const ssize_t n = write(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += gsize(n);
  }
  if (!ok || lseek(fd, 0, SEEK_SET) != 0) {
    if (fd >= 0) close(fd);
    g_set_error(error, DECODER_ERROR, DECODER_ERROR_NO_MEMORY, "no memory for the bytes");
    return nullptr;
  }
  const Job job = {fd, limits, nullptr, mime_type, 0, time_limit_ms()};
  GdkPixbuf *pixbuf = run_decode(job, parent, name, error);
  close(fd);
  return pixbuf;
}
