#include "tests/harness/hostile_loader.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

namespace vorpix_test {

bool install_hostile_loader() {
  gchar *system_cache = nullptr;
  if (!g_file_get_contents(VORPIX_PIXBUF_CACHE, &system_cache, nullptr, nullptr)) return false;
  gchar *argv[] = {const_cast<gchar *>(VORPIX_QUERY_LOADERS),
                   const_cast<gchar *>(VORPIX_HOSTILE_LOADER), nullptr};
  gchar *ours = nullptr;
  gint status = 0;
  bool ok = g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr,
                         &ours, nullptr, &status, nullptr) &&
            status == 0 && ours && g_strstr_len(ours, -1, "vorpix-hostile");
  if (ok) {
    // Written whole and renamed: test programs running at once share it.
    const std::string path = std::string(VORPIX_BINARY_DIR) + "/hostile-loaders.cache";
    const std::string temp = path + "." + std::to_string(getpid());
    gchar *both = g_strconcat(system_cache, "\n", ours, nullptr);
    ok = g_file_set_contents(temp.c_str(), both, -1, nullptr) &&
         g_rename(temp.c_str(), path.c_str()) == 0;
    g_free(both);
    if (ok) g_setenv("GDK_PIXBUF_MODULE_FILE", path.c_str(), TRUE);
  }
  g_free(ours);
  g_free(system_cache);
  return ok;
}

std::string write_hostile_file(const std::string &path, const std::string &action) {
  const std::string text = "VXHOSTILE " + action + "\n";
  g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr);
  return path;
}

}  // namespace vorpix_test
