// Desktop integration: the desktop entry, the application icon, the manual
// page, the software centres' metainfo, what `cmake --install` puts where,
// and the icon of the main window.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "shell/window.h"
#include "tools/tool_palette.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::CommandResult;
using vorpix_test::file_contents;
using vorpix_test::LogCapture;
using vorpix_test::pump;
using vorpix_test::run_command;
using vorpix_test::TempDir;
using vorpix_test::write_png;

namespace {

constexpr int kIconSize = 48;

std::string desktop_source(const char *name) {
  return std::string(VORPIX_SOURCE_DIR) + "/shell/desktop/" + name;
}

bool on_path(const char *program) {
  gchar *found = g_find_program_in_path(program);
  g_free(found);
  return found != nullptr;
}

struct PixbufUnref {
  void operator()(GdkPixbuf *pixbuf) const { g_object_unref(pixbuf); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, PixbufUnref>;

Pixbuf load(const std::string &path, int size = -1) {
  GError *error = nullptr;
  GdkPixbuf *pixbuf = size < 0
                          ? gdk_pixbuf_new_from_file(path.c_str(), &error)
                          : gdk_pixbuf_new_from_file_at_size(path.c_str(), size, size, &error);
  if (error) {
    ADD_FAILURE() << path << ": " << error->message;
    g_error_free(error);
  }
  return Pixbuf(pixbuf);
}

// Every sample of a pixel buffer, row by row, without the rows' padding; a
// buffer without alpha gets an opaque one so that buffers compare alike.
std::vector<guint8> rgba_samples(GdkPixbuf *pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8 *pixels = gdk_pixbuf_get_pixels(pixbuf);
  std::vector<guint8> samples;
  for (int y = 0; y < height; y++) {
    const guint8 *p = pixels + y * stride;
    for (int x = 0; x < width; x++, p += channels) {
      samples.insert(samples.end(), p, p + 3);
      samples.push_back(channels == 4 ? p[3] : 0xff);
    }
  }
  return samples;
}

// Whether GdkPixbuf here can read the format of that name ("svg", say).
bool pixbuf_reads(const char *name) {
  GSList *formats = gdk_pixbuf_get_formats();
  bool found = false;
  for (GSList *node = formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    gchar *format_name = gdk_pixbuf_format_get_name(format);
    if (strcmp(format_name, name) == 0 && !gdk_pixbuf_format_is_disabled(format)) found = true;
    g_free(format_name);
  }
  g_slist_free(formats);
  return found;
}

// The values of a ';'-separated list key of the desktop entry.
std::set<std::string> list_key(GKeyFile *file, const char *key) {
  std::set<std::string> values;
  gchar **list = g_key_file_get_string_list(file, G_KEY_FILE_DESKTOP_GROUP, key, nullptr, nullptr);
  for (gchar **item = list; item && *item; item++) values.insert(*item);
  g_strfreev(list);
  return values;
}

struct KeyFileFree {
  void operator()(GKeyFile *file) const { g_key_file_free(file); }
};

std::unique_ptr<GKeyFile, KeyFileFree> load_desktop_entry() {
  GKeyFile *file = g_key_file_new();
  GError *error = nullptr;
  if (!g_key_file_load_from_file(file, desktop_source("vorpix.desktop").c_str(), G_KEY_FILE_NONE,
                                 &error)) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
  }
  return std::unique_ptr<GKeyFile, KeyFileFree>(file);
}

std::string string_key(GKeyFile *file, const char *key) {
  gchar *value = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
  std::string text = value ? value : "";
  g_free(value);
  return text;
}

TEST(DesktopEntry, PassesDesktopFileValidate) {
  ASSERT_TRUE(on_path("desktop-file-validate"))
      << "desktop-file-validate is missing (Debian package desktop-file-utils; scripts/setup.sh "
         "installs it)";
  CommandResult result = run_command({"desktop-file-validate", desktop_source("vorpix.desktop")});
  ASSERT_TRUE(result.finished) << result.err;
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  // Warnings and hints leave the status at 0 but are printed.
  EXPECT_EQ(result.out + result.err, "");
}

TEST(DesktopEntry, StartsVorpixOnOnePictureFromTheGraphicsMenu) {
  auto file = load_desktop_entry();
  EXPECT_EQ(string_key(file.get(), "Type"), "Application");
  EXPECT_EQ(string_key(file.get(), "Name"), "vorpix");
  EXPECT_NE(string_key(file.get(), "GenericName"), "");
  EXPECT_NE(string_key(file.get(), "Comment"), "");
  // One file at most: the program opens only the first file it is given.
  EXPECT_EQ(string_key(file.get(), "Exec"), "vorpix %f");
  EXPECT_EQ(string_key(file.get(), "Icon"), "vorpix");
  EXPECT_EQ(string_key(file.get(), "Terminal"), "false");
  std::set<std::string> categories = list_key(file.get(), "Categories");
  for (const char *category : {"Graphics", "RasterGraphics", "2DGraphics", "GTK"})
    EXPECT_TRUE(categories.count(category)) << category;
}

TEST(DesktopEntry, OffersEveryFormatGdkPixbufReads) {
  auto file = load_desktop_entry();
  const std::set<std::string> offered = list_key(file.get(), "MimeType");
  GSList *formats = gdk_pixbuf_get_formats();
  ASSERT_NE(formats, nullptr);
  for (GSList *node = formats; node; node = node->next) {
    auto *format = static_cast<GdkPixbufFormat *>(node->data);
    if (gdk_pixbuf_format_is_disabled(format)) continue;
    gchar *name = gdk_pixbuf_format_get_name(format);
    gchar **types = gdk_pixbuf_format_get_mime_types(format);
    for (gchar **type = types; type && *type; type++)
      EXPECT_TRUE(offered.count(*type)) << "format " << name << ": " << *type;
    g_strfreev(types);
    g_free(name);
  }
  g_slist_free(formats);
  // The two formats every build of GdkPixbuf reads, whatever the loaders.
  EXPECT_TRUE(offered.count("image/png"));
  EXPECT_TRUE(offered.count("image/jpeg"));
}

TEST(ApplicationIcon, BitmapIsA48By48DrawingWithTransparentCorners) {
  Pixbuf icon = load(desktop_source("vorpix.png"));
  ASSERT_TRUE(icon);
  EXPECT_EQ(gdk_pixbuf_get_width(icon.get()), kIconSize);
  EXPECT_EQ(gdk_pixbuf_get_height(icon.get()), kIconSize);
  ASSERT_TRUE(gdk_pixbuf_get_has_alpha(icon.get()));
  std::vector<guint8> samples = rgba_samples(icon.get());
  int opaque = 0;
  for (size_t i = 3; i < samples.size(); i += 4) opaque += samples[i] == 0xff;
  // A shape on a transparent ground, not an empty or a filled square.
  EXPECT_EQ(samples[3], 0) << "top-left corner";
  EXPECT_GT(opaque, kIconSize * kIconSize / 3);
  EXPECT_LT(opaque, kIconSize * kIconSize);
}

TEST(ApplicationIcon, ScalableIconIsWellFormedSvg) {
  const std::string text = file_contents(desktop_source("vorpix.svg"));
  ASSERT_FALSE(text.empty());
  struct Seen {
    std::string root;
    std::string view_box;
    int depth = 0;
  } seen;
  GMarkupParser parser = {};
  parser.start_element = [](GMarkupParseContext *, const gchar *element, const gchar **names,
                            const gchar **values, gpointer data, GError **) {
    auto *seen = static_cast<Seen *>(data);
    if (seen->depth++ > 0) return;
    seen->root = element;
    for (int i = 0; names[i]; i++)
      if (strcmp(names[i], "viewBox") == 0) seen->view_box = values[i];
  };
  parser.end_element = [](GMarkupParseContext *, const gchar *, gpointer data, GError **) {
    static_cast<Seen *>(data)->depth--;
  };
  GMarkupParseContext *context =
      g_markup_parse_context_new(&parser, static_cast<GMarkupParseFlags>(0), &seen, nullptr);
  GError *error = nullptr;
  const bool parsed = g_markup_parse_context_parse(context, text.data(), text.size(), &error) &&
                      g_markup_parse_context_end_parse(context, &error);
  g_markup_parse_context_free(context);
  ASSERT_TRUE(parsed) << error->message;
  EXPECT_EQ(seen.root, "svg");
  EXPECT_EQ(seen.view_box, "0 0 48 48");
  EXPECT_NE(text.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
}

TEST(ApplicationIcon, ScalableIconRendersAsTheBitmap) {
  if (!pixbuf_reads("svg"))
    GTEST_SKIP() << "GdkPixbuf has no SVG loader here (Debian package librsvg2-common)";
  Pixbuf scalable = load(desktop_source("vorpix.svg"), kIconSize);
  Pixbuf bitmap = load(desktop_source("vorpix.png"));
  ASSERT_TRUE(scalable && bitmap);
  ASSERT_EQ(gdk_pixbuf_get_width(scalable.get()), kIconSize);
  ASSERT_EQ(gdk_pixbuf_get_height(scalable.get()), kIconSize);
  // The bitmap is rendered from the drawing (render_icon.sh) and must not
  // drift from it.  Renderers may round edges a little differently, so a
  // pixel counts as different only beyond a small step, and a few may be.
  constexpr int kSampleTolerance = 8;
  constexpr int kDifferentPixelsAllowed = kIconSize * kIconSize / 100;
  std::vector<guint8> a = rgba_samples(scalable.get()), b = rgba_samples(bitmap.get());
  ASSERT_EQ(a.size(), b.size());
  int different = 0;
  for (size_t i = 0; i < a.size(); i += 4) {
    bool differs = false;
    for (size_t k = i; k < i + 4; k++) differs |= std::abs(a[k] - b[k]) > kSampleTolerance;
    different += differs;
  }
  EXPECT_LE(different, kDifferentPixelsAllowed);
}

TEST(ManualPage, HasTheUsualSectionsAndRendersWithoutWarnings) {
  const std::string page = file_contents(desktop_source("vorpix.1"));
  ASSERT_FALSE(page.empty());
  for (const char *section : {".SH NAME\nvorpix \\- ", ".SH SYNOPSIS\n", ".SH DESCRIPTION\n",
                              ".SH ENVIRONMENT\n", ".SH FILES\n", ".SH KEYS\n", ".SH SEE ALSO\n"})
    EXPECT_NE(page.find(section), std::string::npos) << section;
  EXPECT_NE(page.find(".B vorpix\n.RI [ file ]\n"), std::string::npos);
  EXPECT_NE(page.find(".B VORPIX_GLADE_FILE\n"), std::string::npos);
  EXPECT_NE(page.find(".I /usr/local/share/vorpix/glade/vorpix.glade\n"), std::string::npos);

  ASSERT_TRUE(on_path("groff")) << "groff is missing (Debian package groff-base; scripts/setup.sh "
                                   "installs it)";
  CommandResult result = run_command({"groff", "-man", "-ww", "-z", desktop_source("vorpix.1")});
  ASSERT_TRUE(result.finished) << result.err;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
}

// "Shift+Ctrl+S" for key "S" with the modifiers "GDK_SHIFT_MASK | GDK_CONTROL_MASK".
std::string key_name(const std::string &key, const std::string &modifiers) {
  std::string name;
  if (modifiers.find("GDK_SHIFT_MASK") != std::string::npos) name += "Shift+";
  if (modifiers.find("GDK_CONTROL_MASK") != std::string::npos) name += "Ctrl+";
  if (modifiers.find("GDK_MOD1_MASK") != std::string::npos) name += "Alt+";
  return name + key;
}

// The single letters the drawing area takes: the tools' and the colours'.
std::set<std::string> drawing_area_keys() {
  std::set<std::string> keys;
  for (const VorpixToolCreateEntry *row = tool_create_entries(); row->button_name; row++)
    if (row->key) keys.insert(std::string(1, g_ascii_toupper(static_cast<char>(row->key))));
  for (guint key : {TOOL_KEY_SWAP_COLORS, TOOL_KEY_DEFAULT_COLORS})
    keys.insert(std::string(1, g_ascii_toupper(static_cast<char>(key))));
  return keys;
}

TEST(ManualPage, DocumentsOnlyKeysTheProgramBinds) {
  const std::string glade = file_contents(VORPIX_SOURCE_GLADE);
  const std::string page = file_contents(desktop_source("vorpix.1"));
  ASSERT_FALSE(glade.empty());
  std::set<std::string> bound;
  const std::regex accelerator("<accelerator key=\"([^\"]+)\" modifiers=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(glade.begin(), glade.end(), accelerator);
       it != std::sregex_iterator(); ++it)
    bound.insert(key_name((*it)[1], (*it)[2]));
  ASSERT_FALSE(bound.empty());
  const std::set<std::string> letters = drawing_area_keys();
  EXPECT_EQ(letters.size(), 16u);
  bound.insert(letters.begin(), letters.end());

  const size_t keys = page.find(".SH KEYS\n");
  const size_t end = page.find(".SH ", keys + 1);
  ASSERT_NE(keys, std::string::npos);
  const std::string section = page.substr(keys, end - keys);
  const std::regex documented("\n\\.TP\n\\.B ([^\n]+)\n");
  int count = 0;
  for (auto it = std::sregex_iterator(section.begin(), section.end(), documented);
       it != std::sregex_iterator(); ++it, count++)
    EXPECT_TRUE(bound.count((*it)[1])) << (*it)[1] << " is documented but not bound";
  for (const char *key : {"Ctrl+O", "Ctrl+S", "Ctrl+Q", "Ctrl+C", "Ctrl+V"})
    EXPECT_NE(section.find(std::string(".B ") + key + "\n"), std::string::npos) << key;
  // Every key of the drawing area is documented, and bound.
  for (const std::string &key : drawing_area_keys())
    EXPECT_NE(section.find(".B " + key + "\n"), std::string::npos) << key << " is not documented";
  EXPECT_GE(count, 5 + 16);
}

// The texts of every element named tag in xml (no nested elements of the same name).
std::vector<std::string> elements(const std::string &xml, const std::string &tag) {
  std::vector<std::string> texts;
  const std::regex element("<" + tag + "(?:\\s[^>]*)?>([^<]*)</" + tag + ">");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
       it != std::sregex_iterator(); ++it)
    texts.push_back((*it)[1]);
  return texts;
}

TEST(MetaInfo, PassesAppstreamValidate) {
  ASSERT_TRUE(on_path("appstreamcli"))
      << "appstreamcli is missing (Debian package appstream; scripts/setup.sh installs it)";
  CommandResult result = run_command(
      {"appstreamcli", "validate", "--no-net", desktop_source("vorpix.metainfo.xml")}, 30000);
  ASSERT_TRUE(result.finished) << result.err;
  EXPECT_EQ(result.status, 0) << result.out << result.err;
}

TEST(MetaInfo, DescribesTheDesktopEntryItsFormatsAndTheReadmePictures) {
  const std::string xml = file_contents(desktop_source("vorpix.metainfo.xml"));
  ASSERT_FALSE(xml.empty());
  EXPECT_EQ(elements(xml, "launchable"), std::vector<std::string>{"vorpix.desktop"});
  EXPECT_EQ(elements(xml, "summary").size(), 1u);
  EXPECT_NE(xml.find("<content_rating type=\"oars-1.1\""), std::string::npos);

  auto file = load_desktop_entry();
  const std::vector<std::string> media = elements(xml, "mediatype");
  EXPECT_EQ(std::set<std::string>(media.begin(), media.end()), list_key(file.get(), "MimeType"));

  // Each screenshot is one of the README's pictures, of that picture's size.
  const std::string readme = file_contents(std::string(VORPIX_SOURCE_DIR) + "/README.md");
  const std::regex image("<image type=\"source\" width=\"(\\d+)\" height=\"(\\d+)\">[^<]*/"
                         "(docs/[^<]+)</image>");
  int screenshots = 0;
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), image);
       it != std::sregex_iterator(); ++it, ++screenshots) {
    const std::string picture = (*it)[3];
    EXPECT_NE(readme.find("](" + picture + ")"), std::string::npos) << picture;
    Pixbuf pixbuf = load(std::string(VORPIX_SOURCE_DIR) + "/" + picture);
    ASSERT_TRUE(pixbuf) << picture;
    EXPECT_EQ(std::to_string(gdk_pixbuf_get_width(pixbuf.get())), (*it)[1].str()) << picture;
    EXPECT_EQ(std::to_string(gdk_pixbuf_get_height(pixbuf.get())), (*it)[2].str()) << picture;
  }
  EXPECT_EQ(screenshots, static_cast<int>(elements(xml, "caption").size()));
  EXPECT_GE(screenshots, 2);
}

// A `cmake --install` of this build into a new temporary prefix.
class Installation {
 public:
  Installation() {
    // Installing copies little, but the machine may be busy.
    CommandResult result = run_command(
        {VORPIX_CMAKE_COMMAND, "--install", VORPIX_BINARY_DIR, "--prefix", prefix_.path()}, 60000);
    ok_ = result.ok();
    EXPECT_TRUE(ok_) << result.out << result.err;
  }
  bool ok() const { return ok_ && prefix_.ok(); }
  std::string file(const std::string &relative) const { return prefix_.file(relative); }
  std::string data(const std::string &relative) const {
    return file(std::string(VORPIX_INSTALL_DATADIR) + "/" + relative);
  }
  std::string glade() const { return data("vorpix/glade/vorpix.glade"); }

 private:
  TempDir prefix_;
  bool ok_ = false;
};

TEST(Install, PutsEveryFileInItsPlace) {
  Installation installed;
  ASSERT_TRUE(installed.ok());
  struct Expected {
    std::string installed, source;
  };
  const Expected expected[] = {
      {installed.data("applications/vorpix.desktop"), desktop_source("vorpix.desktop")},
      {installed.data("metainfo/vorpix.metainfo.xml"), desktop_source("vorpix.metainfo.xml")},
      {installed.data("icons/hicolor/48x48/apps/vorpix.png"), desktop_source("vorpix.png")},
      {installed.data("icons/hicolor/scalable/apps/vorpix.svg"), desktop_source("vorpix.svg")},
      {installed.file(std::string(VORPIX_INSTALL_MANDIR) + "/man1/vorpix.1"),
       desktop_source("vorpix.1")},
      {installed.glade(), VORPIX_SOURCE_GLADE},
      {installed.file(std::string(VORPIX_INSTALL_LOCALEDIR) + "/de/LC_MESSAGES/vorpix.mo"),
       std::string(VORPIX_BINARY_DIR) + "/locale/de/LC_MESSAGES/vorpix.mo"},
  };
  for (const Expected &file : expected) {
    const std::string contents = file_contents(file.installed);
    EXPECT_FALSE(contents.empty()) << file.installed;
    EXPECT_EQ(contents, file_contents(file.source)) << file.installed;
  }
  EXPECT_TRUE(g_file_test(installed.file(std::string(VORPIX_INSTALL_BINDIR) + "/vorpix").c_str(),
                          G_FILE_TEST_IS_EXECUTABLE));
}

// Sets the default icon theme's search path for a while, so that what the
// machine has installed neither hides nor fakes the program's own icon files.
class IconThemePath {
 public:
  explicit IconThemePath(const std::vector<std::string> &folders) : old_(current()) {
    set(folders);
  }
  ~IconThemePath() { set(old_); }

  static std::vector<std::string> current() {
    gchar **path = nullptr;
    gint n_path = 0;
    gtk_icon_theme_get_search_path(theme(), &path, &n_path);
    std::vector<std::string> folders(path, path + n_path);
    g_strfreev(path);
    return folders;
  }

 private:
  static GtkIconTheme *theme() { return gtk_icon_theme_get_default(); }
  static void set(const std::vector<std::string> &folders) {
    std::vector<const gchar *> path;
    for (const std::string &folder : folders) path.push_back(folder.c_str());
    gtk_icon_theme_set_search_path(theme(), path.data(), static_cast<gint>(path.size()));
  }
  std::vector<std::string> old_;
};

// Points VORPIX_GLADE_FILE elsewhere for a while.
class GladeFile {
 public:
  explicit GladeFile(const std::string &path) : old_(g_getenv("VORPIX_GLADE_FILE")) {
    g_setenv("VORPIX_GLADE_FILE", path.c_str(), TRUE);
  }
  ~GladeFile() { g_setenv("VORPIX_GLADE_FILE", old_.c_str(), TRUE); }

 private:
  std::string old_;
};

// A main window made by create_window(), destroyed (without prompts) at the end.
class Window {
 public:
  Window() : window_(create_window()) { pump(); }
  ~Window() {
    gtk_widget_destroy(window_);
    pump();
  }
  GtkWindow *get() const { return GTK_WINDOW(window_); }

  // The window's icons; empty when it shows the toolkit's default.
  std::vector<Pixbuf> icons() const {
    std::vector<Pixbuf> icons;
    GList *list = gtk_window_get_icon_list(get());
    for (GList *node = list; node; node = node->next)
      icons.emplace_back(GDK_PIXBUF(g_object_ref(node->data)));
    g_list_free(list);
    return icons;
  }

 private:
  GtkWidget *window_;
};

// The 48 by 48 icon among a window's icons, or null.
GdkPixbuf *bitmap_icon(const std::vector<Pixbuf> &icons) {
  for (const Pixbuf &icon : icons)
    if (gdk_pixbuf_get_width(icon.get()) == kIconSize &&
        gdk_pixbuf_get_height(icon.get()) == kIconSize)
      return icon.get();
  return nullptr;
}

TEST(WindowIcon, ComesFromTheSourceTreeBesideTheInterfaceDescription) {
  IconThemePath no_theme({});
  GladeFile glade(VORPIX_SOURCE_GLADE);
  Window window;
  std::vector<Pixbuf> icons = window.icons();
  ASSERT_FALSE(icons.empty());
  GdkPixbuf *icon = bitmap_icon(icons);
  ASSERT_NE(icon, nullptr);
  Pixbuf expected = load(desktop_source("vorpix.png"));
  ASSERT_TRUE(expected);
  EXPECT_EQ(rgba_samples(icon), rgba_samples(expected.get()));
  if (pixbuf_reads("svg")) {
    EXPECT_EQ(icons.size(), 2u) << "the scalable icon is offered too";
  }
}

TEST(WindowIcon, ComesFromAnInstalledPrefixOutsideTheIconTheme) {
  Installation installed;
  ASSERT_TRUE(installed.ok());
  // Mark the installed bitmap so that it cannot be mistaken for the source
  // tree's, and take the scalable one away.
  write_png(installed.data("icons/hicolor/48x48/apps/vorpix.png"), kIconSize, kIconSize, 0x12ab34);
  ASSERT_EQ(g_unlink(installed.data("icons/hicolor/scalable/apps/vorpix.svg").c_str()), 0);
  IconThemePath no_theme({});
  GladeFile glade(installed.glade());
  Window window;
  std::vector<Pixbuf> icons = window.icons();
  ASSERT_EQ(icons.size(), 1u);
  ASSERT_EQ(bitmap_icon(icons), icons[0].get());
  std::vector<guint8> samples = rgba_samples(icons[0].get());
  EXPECT_EQ(samples[0], 0x12);
  EXPECT_EQ(samples[1], 0xab);
  EXPECT_EQ(samples[2], 0x34);
}

TEST(WindowIcon, IsNamedWhenTheIconThemeHasIt) {
  Installation installed;
  ASSERT_TRUE(installed.ok());
  // The hicolor theme's index lies in the system's folders; the prefix adds
  // the program's icons to it, as an installation under /usr/local does.
  std::vector<std::string> folders = IconThemePath::current();
  folders.insert(folders.begin(), installed.data("icons"));
  IconThemePath with_prefix(folders);
  ASSERT_TRUE(gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "vorpix"));
  // From a folder without icon files, so only the theme can supply it.
  TempDir elsewhere;
  const std::string glade_copy = elsewhere.file("vorpix.glade");
  ASSERT_TRUE(g_file_set_contents(glade_copy.c_str(),
                                  file_contents(VORPIX_SOURCE_GLADE).c_str(), -1, nullptr));
  GladeFile glade(glade_copy);
  Window window;
  EXPECT_STREQ(gtk_window_get_icon_name(window.get()), "vorpix");
}

TEST(WindowIcon, NoIconAnywhereQuietlyLeavesTheDefault) {
  IconThemePath no_theme({});
  TempDir elsewhere;
  const std::string glade_copy = elsewhere.file("ui/vorpix.glade");
  ASSERT_EQ(g_mkdir_with_parents(elsewhere.file("ui").c_str(), 0755), 0);
  ASSERT_TRUE(g_file_set_contents(glade_copy.c_str(),
                                  file_contents(VORPIX_SOURCE_GLADE).c_str(), -1, nullptr));
  GladeFile glade(glade_copy);
  LogCapture program, toolkit("Gtk"), pixbufs("GdkPixbuf");
  Window window;
  EXPECT_TRUE(window.icons().empty());
  EXPECT_EQ(gtk_window_get_icon_name(window.get()), nullptr);
  EXPECT_TRUE(program.messages().empty()) << program.messages().front();
  EXPECT_TRUE(toolkit.messages().empty()) << toolkit.messages().front();
  EXPECT_TRUE(pixbufs.messages().empty()) << pixbufs.messages().front();
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window.get())));
}

// Installed under any prefix, with nothing in the environment to point at
// it, the program finds its interface description from its own executable;
// with none readable anywhere it says where it looked and ends with status 1.
TEST(Install, StartsFromAnyPrefixAndTellsWhyWhenItCannot) {
  Installation installed;
  ASSERT_TRUE(installed.ok());
  const std::string program = installed.file(std::string(VORPIX_INSTALL_BINDIR) + "/vorpix");
  gchar **env = g_environ_unsetenv(g_get_environ(), "VORPIX_GLADE_FILE");
  std::vector<std::string> environment;
  for (gchar **e = env; *e; e++) environment.push_back(*e);
  g_strfreev(env);
  {
    vorpix_test::ChildProcess app;
    ASSERT_TRUE(app.start({program}, environment, installed.file(""), installed.file("log")));
    bool shown = false;
    for (int i = 0; i < 300 && !shown && !app.exited(); i++) {
      CommandResult found =
          run_command({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(app.pid()),
                       "--name", "^Untitled - vorpix$"});
      shown = found.ok() && !found.out.empty();
      if (!shown) g_usleep(50000);
    }
    EXPECT_TRUE(shown) << "no main window; " << app.ending() << "\n"
                       << file_contents(installed.file("log"));
  }
  const std::string fixed = "/usr/local/share/vorpix/glade/vorpix.glade";
  if (g_file_test(fixed.c_str(), G_FILE_TEST_EXISTS))
    GTEST_SKIP() << "this machine has " << fixed << " installed";
  ASSERT_EQ(g_unlink(installed.glade().c_str()), 0);
  CommandResult run = run_command({"env", "-u", "VORPIX_GLADE_FILE", program}, 20000);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.find("vorpix: cannot read the interface description (tried: "), 0u) << run.err;
  const std::string places = "/" VORPIX_INSTALL_BINDIR "/../share/vorpix/glade/vorpix.glade, " +
                             fixed + ")\n";
  EXPECT_TRUE(run.err.size() > places.size() &&
              run.err.compare(run.err.size() - places.size(), places.size(), places) == 0)
      << run.err;
  EXPECT_EQ(run.err.find("assert"), std::string::npos) << run.err;
}

}  // namespace
