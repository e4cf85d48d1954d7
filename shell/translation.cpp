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
  // Computed once: the executable does not move while it runs.  The build
  // tree's folder beside it, else the catalogues of the prefix it was
  // installed under, wherever that is.
  static const std::string beside = [] {
    const std::string folder = executable_folder();
    if (folder.empty()) return std::string();
    for (const std::string &candidate :
         {folder + G_DIR_SEPARATOR_S + kBuildTreeFolder,
          folder + G_DIR_SEPARATOR_S ".." G_DIR_SEPARATOR_S VORPIX_LOCALE_FROM_PREFIX})
      if (g_file_test(candidate.c_str(), G_FILE_TEST_IS_DIR)) return candidate;
    return std::string();
  }();
  return beside.empty() ? VORPIX_LOCALE_INSTALLED : beside.c_str();
}

void translation_init() {
  bindtextdomain(kTextDomain, translation_locale_dir());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  textdomain(kTextDomain);
}
