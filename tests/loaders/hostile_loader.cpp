// A GdkPixbuf loader of a made-up format for the decoder's tests: a file
// "VXHOSTILE <action> [argument]" makes the loader misbehave as a loader
// fault or a subverted loader would.  Actions:
//   picture      a 2 by 1 RGBA picture (red; half-transparent blue)
//   abort        abort()
//   hang         never returns
//   open PATH    creates PATH, then gives the picture
//   socket       opens a socket, then gives the picture
#define GDK_PIXBUF_ENABLE_BACKEND
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Context {
  GdkPixbufModulePreparedFunc prepared;
  GdkPixbufModuleUpdatedFunc updated;
  gpointer user_data;
  std::string bytes;
};

gpointer begin_load(GdkPixbufModuleSizeFunc, GdkPixbufModulePreparedFunc prepared,
                    GdkPixbufModuleUpdatedFunc updated, gpointer user_data, GError **) {
  return new Context{prepared, updated, user_data, std::string()};
}

gboolean load_increment(gpointer data, const guchar *buf, guint size, GError **) {
  static_cast<Context *>(data)->bytes.append(reinterpret_cast<const char *>(buf), size);
  return TRUE;
}

gboolean give_picture(Context *context) {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 2, 1);
  guchar *p = gdk_pixbuf_get_pixels(pixbuf);
  const guchar pixels[] = {255, 0, 0, 255, 0, 0, 255, 128};
  std::memcpy(p, pixels, sizeof pixels);
  context->prepared(pixbuf, nullptr, context->user_data);
  context->updated(pixbuf, 0, 0, 2, 1, context->user_data);
  g_object_unref(pixbuf);
  return TRUE;
}

gboolean stop_load(gpointer data, GError **error) {
  auto *context = static_cast<Context *>(data);
  std::string text = context->bytes;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::string prefix = "VXHOSTILE ";
  gboolean ok = FALSE;
  if (text.compare(0, prefix.size(), prefix) == 0) {
    const std::string action = text.substr(prefix.size());
    if (action == "picture") {
      ok = give_picture(context);
    } else if (action == "abort") {
      abort();
    } else if (action == "hang") {
      for (;;) g_usleep(G_USEC_PER_SEC);
    } else if (action.compare(0, 5, "open ") == 0) {
      const int fd = open(action.substr(5).c_str(), O_WRONLY | O_CREAT, 0600);
      if (fd >= 0) {
        close(fd);
        ok = give_picture(context);
      }
    } else if (action == "socket") {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      if (fd >= 0) {
        close(fd);
        ok = give_picture(context);
      }
    }
  }
  if (!ok) g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "no");
  delete context;
  return ok;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule *module) {
  module->begin_load = begin_load;
  module->stop_load = stop_load;
  module->load_increment = load_increment;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat *info) {
  static GdkPixbufModulePattern signature[] = {
      {const_cast<gchar *>("VXHOSTILE"), nullptr, 100},
      {nullptr, nullptr, 0},
  };
  static const gchar *mime_types[] = {"image/x-vorpix-hostile", nullptr};
  static const gchar *extensions[] = {"vxh", nullptr};
  info->name = const_cast<gchar *>("vorpix-hostile");
  info->signature = signature;
  info->description = const_cast<gchar *>("vorpix test pictures");
  info->mime_types = const_cast<gchar **>(mime_types);
  info->extensions = const_cast<gchar **>(extensions);
  info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
  info->license = const_cast<gchar *>("LGPL");
}

}  // extern "C"
