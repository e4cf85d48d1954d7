#include "document/recovery.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "document/drawing.h"
#include "imaging/image.h"

namespace {

constexpr int kDefaultPeriodSeconds = 60;
constexpr int kMaxPeriodSeconds = 86400;
constexpr char kPeriodVariable[] = "VORPIX_AUTOSAVE_SECONDS";
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr char kPictureSuffix[] = ".png";
constexpr char kKeySuffix[] = ".key";
constexpr char kLockSuffix[] = ".lock";
constexpr char kTemporarySuffix[] = ".part";
constexpr char kGroup[] = "Recovery";
constexpr char kFileKey[] = "File";
constexpr char kTitleKey[] = "Title";
constexpr char kTimeKey[] = "Time";

struct Entry {
  unsigned id = 0;          // the n of "<session>-<n>"
  guint64 generation = 0;   // renewed whenever the files are removed
  bool dirty = false;       // changed since the copy last taken
  bool has_files = false;
  bool writing = false;
};

struct Claim {
  std::string session;
  int fd = -1;
};

struct State {
  std::string folder;   // empty while stopped
  std::string session;
  int lock_fd = -1;
  guint timer = 0;
  int in_flight = 0;
  unsigned next_id = 0;
  guint64 next_generation = 0;
  std::map<VorpixDrawing *, Entry> entries;
  std::vector<Claim> claims;
};

State state;

// What a worker writes; everything in it is owned by the job.
struct WriteJob {
  VorpixImage *image = nullptr;
  std::string key_data;
  std::string picture, key;  // final names
  VorpixDrawing *drawing = nullptr;
  guint64 generation = 0;
  bool written = false;
  std::string error;
};

std::string session_file(const std::string &session, unsigned id, const char *suffix) {
  return state.folder + G_DIR_SEPARATOR_S + session + "-" + std::to_string(id) + suffix;
}

std::string lock_path(const std::string &session) {
  return state.folder + G_DIR_SEPARATOR_S + session + kLockSuffix;
}

int period_from_environment() {
  const char *text = g_getenv(kPeriodVariable);
  if (!text || !*text) return kDefaultPeriodSeconds;
  char *end = nullptr;
  const long value = strtol(text, &end, 10);
  if (*end || value < 1 || value > kMaxPeriodSeconds) return kDefaultPeriodSeconds;
  return static_cast<int>(value);
}

void remove_files(Entry &entry) {
  if (entry.has_files) {
    g_unlink(session_file(state.session, entry.id, kPictureSuffix).c_str());
    g_unlink(session_file(state.session, entry.id, kKeySuffix).c_str());
  }
  entry.has_files = false;
  // A write still in flight for the old state must not bring the files back.
  entry.generation = ++state.next_generation;
}

// The folder exists, is a real directory of ours and is closed to others.
bool make_private_folder(const std::string &folder) {
  if (g_mkdir_with_parents(folder.c_str(), kFolderMode) != 0) return false;
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
    return false;
  if ((info.st_mode & 0777) != kFolderMode && chmod(folder.c_str(), kFolderMode) != 0)
    return false;
  return true;
}

bool write_all(int fd, const char *data, gsize length) {
  while (length > 0) {
    const ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<gsize>(n);
  }
  return true;
}

gboolean write_to_fd(const gchar *data, gsize length, GError **error, gpointer fd) {
  if (write_all(GPOINTER_TO_INT(fd), data, length)) return TRUE;
  g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(errno), g_strerror(errno));
  return FALSE;
}

// Writes a file of mode 0600 under path; either all of it is on disk or
// false and error say why.
bool write_private_file(const std::string &path, const std::string *data, GdkPixbuf *pixbuf,
                        std::string *error) {
  const int fd = g_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                        kFileMode);
  if (fd < 0) {
    *error = g_strerror(errno);
    return false;
  }
  bool ok = fchmod(fd, kFileMode) == 0;
  if (ok && data) {
    ok = write_all(fd, data->data(), data->size());
    if (!ok) *error = g_strerror(errno);
  } else if (ok) {
    GError *gerror = nullptr;
    ok = gdk_pixbuf_save_to_callback(pixbuf, write_to_fd, GINT_TO_POINTER(fd), "png", &gerror,
                                     nullptr);
    if (!ok) *error = gerror && gerror->message ? gerror->message : "";
    g_clear_error(&gerror);
  }
  if (ok && fsync(fd) != 0) {
    *error = g_strerror(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    *error = g_strerror(errno);
    ok = false;
  }
  if (!ok) g_unlink(path.c_str());
  return ok;
}

// The worker: encode and write under temporary names.
void write_job(GTask *task, gpointer, gpointer data, GCancellable *) {
  WriteJob *job = static_cast<WriteJob *>(data);
  job->written =
      write_private_file(job->picture + kTemporarySuffix, nullptr, image_pixbuf(job->image),
                         &job->error) &&
      write_private_file(job->key + kTemporarySuffix, &job->key_data, nullptr, &job->error);
  if (!job->written) g_unlink((job->picture + kTemporarySuffix).c_str());
  g_task_return_boolean(task, job->written);
}

void free_job(gpointer data) {
  WriteJob *job = static_cast<WriteJob *>(data);
  image_free(job->image);
  delete job;
}

// Back on the main thread: the files take their names only if the drawing
// still wants them.
void on_job_done(GObject *, GAsyncResult *result, gpointer) {
  WriteJob *job = static_cast<WriteJob *>(g_task_get_task_data(G_TASK(result)));
  state.in_flight--;
  auto it = state.entries.find(job->drawing);
  Entry *entry = it != state.entries.end() ? &it->second : nullptr;
  if (entry) entry->writing = false;
  const std::string picture_part = job->picture + kTemporarySuffix;
  const std::string key_part = job->key + kTemporarySuffix;
  bool placed = false;
  if (job->written && entry && entry->generation == job->generation) {
    // The picture first: a key file always has its picture.
    placed = g_rename(picture_part.c_str(), job->picture.c_str()) == 0 &&
             g_rename(key_part.c_str(), job->key.c_str()) == 0;
    if (placed) entry->has_files = true;
  }
  if (!placed) {
    g_unlink(picture_part.c_str());
    g_unlink(key_part.c_str());
    if (entry && entry->generation == job->generation) {
      entry->dirty = true;  // try again at the next period
      g_warning("Autosave of %s failed: %s", job->picture.c_str(),
                job->error.empty() ? g_strerror(errno) : job->error.c_str());
    }
  }
}

std::string key_data_of(VorpixDrawing *drawing) {
  GKeyFile *keys = g_key_file_new();
  gchar *uri = nullptr;
  if (!drawing->untitled) {
    gchar *absolute = g_canonicalize_filename(drawing->filename->str, nullptr);
    uri = g_filename_to_uri(absolute, nullptr, nullptr);
    g_free(absolute);
  }
  g_key_file_set_string(keys, kGroup, kFileKey, uri ? uri : "");
  g_free(uri);
  const char *title =
      GTK_IS_WINDOW(drawing->toplevel) ? gtk_window_get_title(GTK_WINDOW(drawing->toplevel)) : "";
  g_key_file_set_string(keys, kGroup, kTitleKey, title ? title : "");
  g_key_file_set_int64(keys, kGroup, kTimeKey, g_get_real_time() / G_USEC_PER_SEC);
  gsize length = 0;
  gchar *text = g_key_file_to_data(keys, &length, nullptr);
  std::string data(text ? text : "", text ? length : 0);
  g_free(text);
  g_key_file_free(keys);
  return data;
}

bool start_write(VorpixDrawing *drawing, Entry &entry) {
  VorpixImage *image = drawing_create_image(drawing);
  if (!image) return false;  // no memory for the copy now; the next period tries again
  WriteJob *job = new WriteJob;
  job->image = image;
  job->key_data = key_data_of(drawing);
  job->picture = session_file(state.session, entry.id, kPictureSuffix);
  job->key = session_file(state.session, entry.id, kKeySuffix);
  job->drawing = drawing;
  job->generation = entry.generation;
  entry.dirty = false;
  entry.writing = true;
  state.in_flight++;
  GTask *task = g_task_new(nullptr, nullptr, on_job_done, nullptr);
  g_task_set_task_data(task, job, free_job);
  g_task_run_in_thread(task, write_job);
  g_object_unref(task);
  return true;
}

void on_drawing_changed(VorpixDrawing *drawing, const GdkRectangle *, gpointer) {
  auto it = state.entries.find(drawing);
  if (it != state.entries.end()) it->second.dirty = true;
}

gboolean on_autosave_timer(gpointer) {
  recovery_autosave_now();
  return G_SOURCE_CONTINUE;
}

// "<session>-<n>" of a file name with that suffix, or "" for other files.
std::string session_of(const std::string &name, const char *suffix) {
  const size_t suffix_length = strlen(suffix);
  if (name.size() <= suffix_length || name.compare(name.size() - suffix_length, suffix_length,
                                                   suffix) != 0)
    return "";
  const std::string base = name.substr(0, name.size() - suffix_length);
  const size_t dash = base.rfind('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == base.size()) return "";
  if (base.find_first_not_of("0123456789", dash + 1) != std::string::npos) return "";
  return base.substr(0, dash);
}

std::vector<std::string> folder_names() {
  std::vector<std::string> names;
  GDir *dir = g_dir_open(state.folder.c_str(), 0, nullptr);
  if (!dir) return names;
  while (const char *name = g_dir_read_name(dir)) names.emplace_back(name);
  g_dir_close(dir);
  return names;
}

bool is_regular_file(const std::string &path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The lock of session, held (fd returned) when its process is gone; -1 while
// it lives or the lock cannot be had.
int take_lock(const std::string &session) {
  const int fd = g_open(lock_path(session).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        kFileMode);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool read_picture(const std::string &key_path, RecoveredPicture *picture) {
  GKeyFile *keys = g_key_file_new();
  bool ok = g_key_file_load_from_file(keys, key_path.c_str(), G_KEY_FILE_NONE, nullptr);
  gchar *uri = ok ? g_key_file_get_string(keys, kGroup, kFileKey, nullptr) : nullptr;
  gchar *title = ok ? g_key_file_get_string(keys, kGroup, kTitleKey, nullptr) : nullptr;
  ok = ok && uri && title;
  gchar *filename = ok && *uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr;
  if (ok && *uri && !filename) ok = false;  // not a file name
  if (ok) {
    picture->key = key_path;
    picture->filename = filename ? filename : "";
    picture->title = title;
    picture->time = g_key_file_get_int64(keys, kGroup, kTimeKey, nullptr);
  }
  g_free(filename);
  g_free(title);
  g_free(uri);
  g_key_file_free(keys);
  return ok;
}

}  // namespace

gchar *recovery_default_folder() {
  return g_build_filename(g_get_user_cache_dir(), "vorpix", "recovery", nullptr);
}

bool recovery_start(const char *folder, int period_seconds) {
  if (!state.folder.empty()) recovery_stop();
  gchar *chosen = folder ? g_strdup(folder) : recovery_default_folder();
  const std::string path = chosen;
  g_free(chosen);
  if (!make_private_folder(path)) {
    g_warning("No autosave: cannot make the private folder %s", path.c_str());
    return false;
  }
  state.folder = path;
  gchar *session = g_strdup_printf("%ld-%" G_GINT64_MODIFIER "x", static_cast<long>(getpid()),
                                   g_get_real_time());
  state.session = session;
  g_free(session);
  const int fd = g_open(lock_path(state.session).c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kFileMode);
  const std::string pid = std::to_string(static_cast<long>(getpid())) + "\n";
  if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || !write_all(fd, pid.data(), pid.size())) {
    if (fd >= 0) {
      close(fd);
      g_unlink(lock_path(state.session).c_str());
    }
    g_warning("No autosave: cannot write a lock file in %s", path.c_str());
    state.folder.clear();
    return false;
  }
  state.lock_fd = fd;
  drawing_add_change_watch(on_drawing_changed, nullptr);
  const int period = period_seconds >= 1 ? period_seconds : period_from_environment();
  state.timer = g_timeout_add_seconds(static_cast<guint>(period), on_autosave_timer, nullptr);
  return true;
}

void recovery_stop() {
  if (state.folder.empty()) return;
  recovery_wait();
  recovery_release_claims();
  g_source_remove(state.timer);
  state.timer = 0;
  drawing_remove_change_watch(on_drawing_changed, nullptr);
  bool files_left = false;
  for (auto &item : state.entries) {
    files_left = files_left || item.second.has_files;
    item.second.has_files = false;
    item.second.dirty = true;
  }
  // Files left behind stay findable: their session's lock file stays too,
  // unlocked once closed.
  if (!files_left) g_unlink(lock_path(state.session).c_str());
  close(state.lock_fd);
  state.lock_fd = -1;
  state.folder.clear();
  state.session.clear();
}

const char *recovery_folder() { return state.folder.empty() ? nullptr : state.folder.c_str(); }

void recovery_drawing_added(VorpixDrawing *drawing) {
  Entry entry;
  entry.id = ++state.next_id;
  entry.generation = ++state.next_generation;
  state.entries[drawing] = entry;
}

void recovery_drawing_gone(VorpixDrawing *drawing) {
  auto it = state.entries.find(drawing);
  if (it == state.entries.end()) return;
  if (!state.folder.empty()) remove_files(it->second);
  state.entries.erase(it);
}

void recovery_drawing_saved(VorpixDrawing *drawing) {
  auto it = state.entries.find(drawing);
  if (it == state.entries.end() || state.folder.empty()) return;
  remove_files(it->second);
  it->second.dirty = false;
}

int recovery_autosave_now() {
  if (state.folder.empty()) return 0;
  int started = 0;
  for (auto &item : state.entries) {
    VorpixDrawing *drawing = item.first;
    Entry &entry = item.second;
    if (!drawing->modified) {
      if (entry.has_files) remove_files(entry);
      entry.dirty = false;
      continue;
    }
    if (entry.writing || (entry.has_files && !entry.dirty) || !drawing->backing_pixmap) continue;
    if (start_write(drawing, entry)) started++;
  }
  return started;
}

void recovery_wait() {
  while (state.in_flight > 0) g_main_context_iteration(nullptr, TRUE);
}

std::vector<RecoveredPicture> recovery_claim_left_pictures() {
  std::vector<RecoveredPicture> pictures;
  if (state.folder.empty()) return pictures;
  const std::vector<std::string> names = folder_names();
  std::set<std::string> sessions;
  for (const std::string &name : names) {
    const std::string session = session_of(name, kKeySuffix);
    if (!session.empty() && session != state.session) sessions.insert(session);
  }
  std::set<std::string> claimed;
  for (const Claim &claim : state.claims) claimed.insert(claim.session);
  for (const std::string &session : sessions) {
    if (claimed.count(session)) continue;
    const int fd = take_lock(session);
    if (fd < 0) continue;  // its process lives
    state.claims.push_back({session, fd});
    claimed.insert(session);
  }
  for (const std::string &name : names) {
    const std::string session = session_of(name, kKeySuffix);
    if (session.empty() || !claimed.count(session)) continue;
    const std::string key = state.folder + G_DIR_SEPARATOR_S + name;
    const std::string base = key.substr(0, key.size() - strlen(kKeySuffix));
    RecoveredPicture picture;
    picture.picture = base + kPictureSuffix;
    if (!is_regular_file(key) || !is_regular_file(picture.picture)) continue;
    if (read_picture(key, &picture)) pictures.push_back(picture);
  }
  std::stable_sort(pictures.begin(), pictures.end(),
                   [](const RecoveredPicture &a, const RecoveredPicture &b) {
                     return a.time < b.time;
                   });
  return pictures;
}

bool recovery_adopt(const RecoveredPicture &picture, VorpixDrawing *drawing) {
  auto it = state.entries.find(drawing);
  if (it == state.entries.end() || state.folder.empty()) return false;
  Entry &entry = it->second;
  remove_files(entry);
  const std::string own_picture = session_file(state.session, entry.id, kPictureSuffix);
  const std::string own_key = session_file(state.session, entry.id, kKeySuffix);
  if (g_rename(picture.picture.c_str(), own_picture.c_str()) != 0) return false;
  if (g_rename(picture.key.c_str(), own_key.c_str()) != 0) {
    g_rename(own_picture.c_str(), picture.picture.c_str());
    return false;
  }
  entry.has_files = true;
  entry.dirty = false;
  return true;
}

void recovery_discard(const RecoveredPicture &picture) {
  g_unlink(picture.key.c_str());
  g_unlink(picture.picture.c_str());
}

void recovery_release_claims() {
  if (state.claims.empty()) return;
  const std::vector<std::string> names = folder_names();
  for (const Claim &claim : state.claims) {
    const std::string prefix = claim.session + "-";
    const bool files_left = std::any_of(names.begin(), names.end(), [&](const std::string &name) {
      return name.compare(0, prefix.size(), prefix) == 0 &&
             (session_of(name, kKeySuffix) == claim.session ||
              session_of(name, kPictureSuffix) == claim.session);
    });
    // Half-written files of a process that stopped mid-write are of no use.
    for (const std::string &name : names)
      if (name.compare(0, prefix.size(), prefix) == 0 &&
          g_str_has_suffix(name.c_str(), kTemporarySuffix))
        g_unlink((state.folder + G_DIR_SEPARATOR_S + name).c_str());
    if (!files_left) g_unlink(lock_path(claim.session).c_str());
    close(claim.fd);
  }
  state.claims.clear();
}
