// Reading and writing image files.
#include <fcntl.h>
#include <glib/gi18n.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/image.h"
#include "imaging/image_png.h"
#include "imaging/image_private.h"

using namespace image_private;

namespace {

// Room left in a file-name component for ".<name>.XXXXXX".
constexpr size_t kMaxTempBase = 200;
constexpr mode_t kNewFileMode = 0666;  // before the umask, as open() would create it
constexpr mode_t kPermissionBits = 07777;

struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};
using GChars = std::unique_ptr<gchar, GFree>;

struct SaveFormat {
  std::string type;  // the library's format name
  bool jpeg_quality = false;
};

// Chooses the format from the extension of the file's own name.  False with
// the error set when no writable format has that extension.
bool choose_format(const char *filename, SaveFormat *format, GError **error) {
  GSList *all = gdk_pixbuf_get_formats();
  GSList *writable = nullptr;
  g_slist_foreach(all, add_if_writable, &writable);
  g_slist_free(all);

  GChars base(g_path_get_basename(filename));
  const char *dot = strrchr(base.get(), '.');
  const char *extension = dot ? dot : ".png";
  bool ok = true;
  if (g_ascii_strcasecmp(extension, ".jpg") == 0 || g_ascii_strcasecmp(extension, ".jpeg") == 0) {
    format->type = "jpeg";
    format->jpeg_quality = true;
  } else {
    GChars lower(g_ascii_strdown(extension + 1, -1));
    if (is_writable(writable, lower.get())) {
      format->type = lower.get();
    } else {
      g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_BAD_OPTION,
                  _("Saving in the '%s' format is not supported by gdk_pixbuf"), lower.get());
      ok = false;
    }
  }
  g_slist_free(writable);
  return ok;
}

// Formats whose writers keep an alpha channel; the others get the picture
// over white.
bool keeps_alpha(const std::string &type) {
  static const char *const kWithAlpha[] = {"png", "tiff", "ico", "webp"};
  for (const char *name : kWithAlpha)
    if (type == name) return true;
  return false;
}

// image itself, or for a format without alpha and a picture with some, a
// copy over white (owned by the caller); null when that copy cannot be had.
VorpixImage *as_written(VorpixImage *image, const std::string &type, VorpixImage **flat) {
  *flat = nullptr;
  if (keeps_alpha(type) || !image_has_transparency(image)) return image;
  *flat = image_new_copy(image);
  if (*flat) image_over_colour(*flat, 255, 255, 255);
  return *flat;
}

void set_errno_error(GError **error, int saved_errno, const char *format, const char *filename) {
  GChars display(g_filename_display_name(filename));
  g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved_errno), format, display.get(),
              g_strerror(saved_errno));
}

gboolean write_to_fd(const gchar *buffer, gsize count, GError **error, gpointer data) {
  int fd = *static_cast<int *>(data);
  while (count > 0) {
    ssize_t written = write(fd, buffer, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      int saved_errno = errno;
      g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved_errno),
                  _("Error writing to image file: %s"), g_strerror(saved_errno));
      return FALSE;
    }
    buffer += written;
    count -= static_cast<gsize>(written);
  }
  return TRUE;
}

// The file a save replaces: a symbolic link is followed so that the link
// survives and its target gets the picture.
std::string resolve_target(const char *filename) {
  struct stat st;
  if (lstat(filename, &st) == 0 && S_ISLNK(st.st_mode)) {
    char *real = realpath(filename, nullptr);
    if (real) {
      std::string target = real;
      free(real);
      return target;
    }
  }
  return filename;
}

mode_t current_umask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Gives the new file what the old one had, or what a newly created file gets.
void set_permissions(int fd, const std::string &target) {
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    // Owner first: changing it may clear set-id bits that fchmod then restores.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only root may hand a file to someone else; the saver keeps it then.
    }
    fchmod(fd, st.st_mode & kPermissionBits);
  } else {
    fchmod(fd, kNewFileMode & ~current_umask());
  }
}

// Writes into a temporary file beside the target and renames it over the
// target only once it is complete, so a failure leaves the old file as it was.
bool save_replacing(GdkPixbuf *pixbuf, const char *filename, const SaveFormat &format,
                    GError **error) {
  std::string target = resolve_target(filename);
  struct stat st;
  // Renaming over a device or pipe would replace the node itself.
  if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      set_errno_error(error, EISDIR, _("Failed to save '%s': %s"), filename);
    } else {
      GChars display(g_filename_display_name(filename));
      g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED,
                  _("Failed to save '%s': not a regular file"), display.get());
    }
    return false;
  }
  // Renaming over a file needs only the directory's permission; the file's
  // own says whether it may be replaced.
  if (lstat(target.c_str(), &st) == 0 &&
      faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    set_errno_error(error, errno, _("Failed to open '%s' for writing: %s"), filename);
    return false;
  }

  GChars dir(g_path_get_dirname(target.c_str()));
  std::string base = GChars(g_path_get_basename(target.c_str())).get();
  if (base.size() > kMaxTempBase) base.resize(kMaxTempBase);
  GChars temp(g_build_filename(dir.get(), ("." + base + ".XXXXXX").c_str(), nullptr));
  int fd = g_mkstemp(temp.get());
  if (fd < 0) {
    set_errno_error(error, errno, _("Failed to open '%s' for writing: %s"), filename);
    return false;
  }
  set_permissions(fd, target);

  char quality_key[] = "quality";
  char quality_value[] = "100";
  char *keys[] = {quality_key, nullptr};
  char *values[] = {quality_value, nullptr};
  char *no_options[] = {nullptr};
  VorpixImage image{pixbuf};
  bool ok = format.type == "png"
                ? image_png_save(&image, write_to_fd, &fd, error)
                : gdk_pixbuf_save_to_callbackv(pixbuf, write_to_fd, &fd, format.type.c_str(),
                                               format.jpeg_quality ? keys : no_options,
                                               format.jpeg_quality ? values : no_options, error);
  if (ok && fsync(fd) != 0) {
    set_errno_error(error, errno, _("Failed to save '%s': %s"), filename);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    set_errno_error(error, errno, _("Failed to save '%s': %s"), filename);
    ok = false;
  }
  if (ok && rename(temp.get(), target.c_str()) != 0) {
    set_errno_error(error, errno, _("Failed to save '%s': %s"), filename);
    ok = false;
  }
  if (!ok) g_unlink(temp.get());
  return ok;
}

}  // namespace

VorpixImage *image_new_readfile(const char *filename) {
  g_return_val_if_fail(filename != nullptr, nullptr);
  // Directories, pipes and devices are no pictures, and reading a pipe may block.
  if (!g_file_test(filename, G_FILE_TEST_IS_REGULAR)) return nullptr;
  // The header's size is checked before the loader allocates anything for it.
  int width = 0, height = 0;
  if (!gdk_pixbuf_get_file_info(filename, &width, &height)) return nullptr;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  if (gint64(width) * height > kMaxPixels) return nullptr;

  GError *error = nullptr;
  GdkPixbuf *pixbuf = gdk_pixbuf_new_from_file(filename, &error);
  if (error) {
    g_error_free(error);
    if (pixbuf) g_object_unref(pixbuf);
    return nullptr;
  }
  if (!pixbuf) return nullptr;
  return image_wrap(pixbuf);
}

gboolean is_writable(GSList *formats, const char *extension) {
  for (GSList *l = formats; l; l = l->next) {
    gchar **extensions = gdk_pixbuf_format_get_extensions(static_cast<GdkPixbufFormat *>(l->data));
    bool found = false;
    for (gchar **e = extensions; e && *e && !found; e++) found = strcmp(*e, extension) == 0;
    g_strfreev(extensions);
    if (found) return TRUE;
  }
  return FALSE;
}

void add_if_writable(gpointer format, gpointer list) {
  if (gdk_pixbuf_format_is_writable(static_cast<GdkPixbufFormat *>(format)))
    *static_cast<GSList **>(list) = g_slist_prepend(*static_cast<GSList **>(list), format);
}

gboolean image_write(VorpixImage *image, const char *filename, GError **error) {
  g_return_val_if_fail(image && image->pixbuf, FALSE);
  g_return_val_if_fail(filename != nullptr, FALSE);
  g_return_val_if_fail(error != nullptr && *error == nullptr, FALSE);

  SaveFormat format;
  if (!choose_format(filename, &format, error)) {
    g_warning("Could not save image %s: %s\n", filename, (*error)->message);
    return FALSE;
  }
  VorpixImage *flat = nullptr;
  VorpixImage *written = as_written(image, format.type, &flat);
  if (!written) {
    set_errno_error(error, ENOMEM, _("Failed to save '%s': %s"), filename);
    return FALSE;
  }
  bool ok = save_replacing(written->pixbuf, filename, format, error);
  if (flat) image_free(flat);
  if (!ok && *error) g_warning("Could not save image %s: %s\n", filename, (*error)->message);
  return ok;
}

gboolean image_encode(VorpixImage *image, const char *type, gchar **buffer, gsize *size,
                      GError **error) {
  g_return_val_if_fail(image && image->pixbuf && type, FALSE);
  VorpixImage *flat = nullptr;
  VorpixImage *written = as_written(image, type, &flat);
  if (!written) {
    g_set_error_literal(error, G_FILE_ERROR, G_FILE_ERROR_NOMEM, g_strerror(ENOMEM));
    return FALSE;
  }
  const gboolean ok = gdk_pixbuf_save_to_buffer(written->pixbuf, buffer, size, type, error,
                                                nullptr);
  if (flat) image_free(flat);
  return ok;
}
