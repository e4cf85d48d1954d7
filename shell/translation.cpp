#include "shell/translation.h"

#include <glib.h>
#include <libintl.h>

#include <string>

namespace {

constexpr char kBuildTreeFolder[] = "locale";

// The folder of the running executable, or "" when it cannot be told.
std::string executable_folder() {
  gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
  if (!exe) return "";
  gchar *folder = g_path_get_dirname(exe);
  std::string result = folder;
  g_free(folder);
  g_free(exe);
  return result;
}

}  // namespace

const char *translation_locale_dir() {
  const char *path = g_getenv("VORPIX_LOCALE_DIR");
  if (path && *path) return path;
  // Computed once: the executable does not move while it runs.
  static const std::string beside = [] {
    std::string folder = executable_folder();
    if (folder.empty()) return std::string();
    folder += G_DIR_SEPARATOR_S;
    folder += kBuildTreeFolder;
    return g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR) ? folder : std::string();
  }();
  return beside.empty() ? VORPIX_LOCALE_INSTALLED : beside.c_str();
}

void translation_init() {
  bindtextdomain(kTextDomain, translation_locale_dir());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  textdomain(kTextDomain);
}
