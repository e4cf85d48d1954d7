// The message catalogues: the template holds every text marked for
// translation, every catalogue follows the template and compiles cleanly, and
// a main window speaks the language asked for, menus and prompts alike.
#include <glib/gi18n.h>
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <libintl.h>

#include <clocale>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "document/canvas.h"
#include "document/drawing.h"
#include "shell/translation.h"
#include "shell/window.h"
#include "tests/harness/process.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::CommandResult;
using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::run_command;
using vorpix_test::TempDir;

namespace {

const char *const kLanguages[] = {"de", "es", "fr"};
constexpr guint kNoMnemonic = GDK_VoidSymbol;

std::string po_file(const std::string &name) {
  return std::string(VORPIX_SOURCE_DIR) + "/po/" + name;
}

constexpr char kRegenerate[] =
    "run `cmake --build build --target vorpix-pot` to bring po/ up to date";

// Runs a gettext tool; its whole output explains a failure.
void expect_succeeds(const std::vector<std::string> &argv, const char *hint = "") {
  CommandResult result = run_command(argv, 60000);
  EXPECT_TRUE(result.ok()) << argv[0] << " " << argv.back() << ":\n"
                           << result.out << result.err << hint;
}

TEST(Template, HoldsEveryMarkedText) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string fresh = dir.file("fresh.pot");
  expect_succeeds({VORPIX_CMAKE_COMMAND, "-DSOURCE_DIR=" VORPIX_SOURCE_DIR, "-DOUTPUT=" + fresh,
                   "-DXGETTEXT=xgettext", "-P", po_file("make_pot.cmake")});
  // Every message of the fresh extraction must be in the committed template.
  expect_succeeds({"msgcmp", "--use-untranslated", po_file("vorpix.pot"), fresh}, kRegenerate);
}

TEST(Template, ExtractionFindsTheInterfaceDescriptionAndTheSources) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string fresh = dir.file("fresh.pot");
  expect_succeeds({VORPIX_CMAKE_COMMAND, "-DSOURCE_DIR=" VORPIX_SOURCE_DIR, "-DOUTPUT=" + fresh,
                   "-DXGETTEXT=xgettext", "-P", po_file("make_pot.cmake")});
  const std::string pot = vorpix_test::file_contents(fresh);
  for (const char *text : {"msgid \"_File\"", "msgid \"Fill shapes\"", "msgid \"Cannot open file %s.\"",
                           "msgid \"Untitled\""})
    EXPECT_NE(pot.find(text), std::string::npos) << text;
  // Names of widgets and handlers are not for translators.
  for (const char *text : {"msgid \"main_window\"", "msgid \"on_save_menu_activate\""})
    EXPECT_EQ(pot.find(text), std::string::npos) << text;
}

class Catalogue : public testing::TestWithParam<const char *> {};

TEST_P(Catalogue, FollowsTheTemplateAndCompilesWithItsAccelerators) {
  const std::string po = po_file(std::string(GetParam()) + ".po");
  expect_succeeds({"msgcmp", "--use-untranslated", po, po_file("vorpix.pot")}, kRegenerate);
  // Format directives match their English ones; each label that has an
  // underscore keeps exactly one.
  expect_succeeds({"msgfmt", "--check", "--check-accelerators=_", "--output-file=/dev/null", po});
}

TEST_P(Catalogue, IsBuiltWhereABuildTreeRunFindsIt) {
  const std::string mo =
      std::string(translation_locale_dir()) + "/" + GetParam() + "/LC_MESSAGES/vorpix.mo";
  EXPECT_EQ(std::string(translation_locale_dir()), std::string(VORPIX_BINARY_DIR) + "/locale");
  EXPECT_TRUE(g_file_test(mo.c_str(), G_FILE_TEST_IS_REGULAR)) << mo;
}

INSTANTIATE_TEST_SUITE_P(Languages, Catalogue, testing::ValuesIn(kLanguages));

TEST(LocaleDir, TheEnvironmentComesFirst) {
  const std::string old = g_getenv("VORPIX_LOCALE_DIR") ? g_getenv("VORPIX_LOCALE_DIR") : "";
  g_setenv("VORPIX_LOCALE_DIR", "/somewhere/else", TRUE);
  EXPECT_STREQ(translation_locale_dir(), "/somewhere/else");
  g_setenv("VORPIX_LOCALE_DIR", "", TRUE);
  EXPECT_EQ(std::string(translation_locale_dir()), std::string(VORPIX_BINARY_DIR) + "/locale");
  g_setenv("VORPIX_LOCALE_DIR", old.c_str(), TRUE);
}

// Makes the program speak a language for a while.  gettext ignores LANGUAGE
// in the C locale, so C.UTF-8 (present on every glibc system) is set; setting
// the text domain again makes gettext forget the translations it looked up.
class Language {
 public:
  explicit Language(const char *language)
      : old_language_(g_getenv("LANGUAGE") ? g_getenv("LANGUAGE") : ""),
        old_locale_(setlocale(LC_ALL, nullptr)) {
    g_setenv("LANGUAGE", language, TRUE);
    locale_set_ = setlocale(LC_ALL, "C.UTF-8") != nullptr;
    textdomain(kTextDomain);
  }
  ~Language() {
    g_setenv("LANGUAGE", old_language_.c_str(), TRUE);
    setlocale(LC_ALL, old_locale_.c_str());
    textdomain(kTextDomain);
  }
  bool ok() const { return locale_set_; }

 private:
  std::string old_language_;
  std::string old_locale_;
  bool locale_set_ = false;
};

std::string label_of(GtkWidget *item) {
  GtkWidget *child = gtk_bin_get_child(GTK_BIN(item));
  return child && GTK_IS_LABEL(child) ? gtk_label_get_label(GTK_LABEL(child)) : "";
}

// Checks that the visible items of a menu (and of the menus below it) have
// mnemonics of their own.  Menus the program fills itself (recent files)
// number their items and are left out.
void expect_distinct_mnemonics(GtkWidget *menu, const std::string &path) {
  std::map<guint, std::string> taken;
  GList *items = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList *node = items; node; node = node->next) {
    GtkWidget *item = GTK_WIDGET(node->data);
    if (!GTK_WIDGET_VISIBLE(item) || GTK_IS_SEPARATOR_MENU_ITEM(item)) continue;
    const std::string label = label_of(item);
    GtkWidget *child = gtk_bin_get_child(GTK_BIN(item));
    if (!child || !GTK_IS_LABEL(child)) continue;
    guint key = gdk_keyval_to_lower(gtk_label_get_mnemonic_keyval(GTK_LABEL(child)));
    EXPECT_NE(key, kNoMnemonic) << path << ": " << label << " has none";
    if (key != kNoMnemonic) {
      auto [it, fresh] = taken.emplace(key, label);
      EXPECT_TRUE(fresh) << path << ": " << label << " and " << it->second << " share a mnemonic";
    }
    GtkWidget *submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item));
    if (submenu && !GTK_IS_RECENT_CHOOSER(submenu))
      expect_distinct_mnemonics(submenu, path + " > " + label);
  }
  g_list_free(items);
}

class TranslatedWindow : public MainWindowTest, public testing::WithParamInterface<const char *> {
 protected:
  void SetUp() override {
    language_ = std::make_unique<Language>(GetParam());
    ASSERT_TRUE(language_->ok());
    MainWindowTest::SetUp();
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    language_.reset();
  }
  std::unique_ptr<Language> language_;
};

TEST_P(TranslatedWindow, EveryMenuHasDistinctMnemonics) {
  expect_distinct_mnemonics(widget("menubar"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslatedWindow,
                         testing::ValuesIn(kLanguages));

class GermanWindow : public TranslatedWindow {};

TEST_P(GermanWindow, ShowsGermanMenusTitleAndSavePrompt) {
  struct Label {
    const char *widget, *text;
  };
  for (const Label &label : {Label{"file_menu_item", "_Datei"}, Label{"edit_menu_item", "_Bearbeiten"},
                             Label{"open_menu", "_Öffnen …"}, Label{"quit_menu", "_Beenden"}})
    EXPECT_EQ(label_of(widget(label.widget)), label.text) << label.widget;
  EXPECT_STREQ(title(), "Unbenannt - vorpix");

  drawing_modified(drawing());
  EXPECT_STREQ(title(), "Unbenannt (geändert) - vorpix");
  DialogAnswerer answers;
  answers.answer(GTK_RESPONSE_CANCEL);
  on_close_window_activate(window, nullptr);
  ASSERT_EQ(answers.answered(), 1);
  EXPECT_EQ(answers.texts()[0],
            "Möchten Sie die Änderungen an »unbenannt.png« speichern?\n"
            "Ihre Änderungen gehen verloren, wenn Sie sie nicht speichern.");
  // Cancelled: the window stays.
  EXPECT_TRUE(GTK_WIDGET_VISIBLE(window));
  drawing()->modified = 0;
}

INSTANTIATE_TEST_SUITE_P(German, GermanWindow, testing::Values("de"));

}  // namespace
