// File > Open Recent: pictures opened and saved are recorded in the desktop's
// recently used list (the private home of the tests keeps the user's own list
// untouched), the menu lists the newest image files, and choosing one opens it
// as Open does.
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/drawing.h"
#include "document/file.h"
#include "shell/recent_menu.h"
#include "shell/util.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::MainWindowTest;
using vorpix_test::pump;
using vorpix_test::run_for;
using vorpix_test::TempDir;
using vorpix_test::write_png;

namespace {

constexpr guint32 kRed = 0xff0000;
// The recent manager writes its file a little after a change.
constexpr int kWriteDelayMs = 600;
constexpr int kFillLimitMs = 5000;

std::string uri_of(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri ? uri : "";
  g_free(uri);
  return text;
}

class RecentMenuTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    gtk_recent_manager_purge_items(gtk_recent_manager_get_default(), nullptr);
    ASSERT_TRUE(dir_.ok());
  }

  GtkRecentChooser *chooser() const {
    GtkWidget *menu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget("open_recent_menu")));
    return menu && GTK_IS_RECENT_CHOOSER(menu) ? GTK_RECENT_CHOOSER(menu) : nullptr;
  }

  std::vector<std::string> listed() const {
    pump();
    std::vector<std::string> uris;
    gsize length = 0;
    gchar **list = gtk_recent_chooser_get_uris(chooser(), &length);
    for (gsize i = 0; i < length; i++) uris.push_back(list[i]);
    g_strfreev(list);
    return uris;
  }

  // Activates the menu's item for path as a click on it would.
  bool choose(const std::string &path) {
    const std::string uri = uri_of(path);
    // The menu fills itself when idle, later on a busy machine.
    for (int waited = 0; waited < kFillLimitMs; waited += 50) {
      run_for(50);
      GList *items = gtk_container_get_children(GTK_CONTAINER(chooser()));
      GtkWidget *item = nullptr;
      for (GList *node = items; node && !item; node = node->next) {
        auto *info = static_cast<GtkRecentInfo *>(g_object_get_data(G_OBJECT(node->data),
                                                                    "gtk-recent-info"));
        if (info && uri == gtk_recent_info_get_uri(info)) item = GTK_WIDGET(node->data);
      }
      g_list_free(items);
      if (item) {
        gtk_menu_item_activate(GTK_MENU_ITEM(item));
        pump();
        return true;
      }
    }
    return false;
  }

  TempDir dir_;
};

// Even for a user whose data folder does not exist yet.
TEST_F(RecentMenuTest, SavedPictureIsRecordedForEveryProgramAndListed) {
  ASSERT_NE(chooser(), nullptr);
  gchar *xbel = g_build_filename(g_get_user_data_dir(), "recently-used.xbel", nullptr);
  g_unlink(xbel);
  ASSERT_EQ(g_rmdir(g_get_user_data_dir()), 0);
  const std::string path = dir_.file("saved.png");
  ASSERT_EQ(drawing_save_as(drawing(), path.c_str()), 1);
  const std::string uri = uri_of(path);

  GtkRecentInfo *info =
      gtk_recent_manager_lookup_item(gtk_recent_manager_get_default(), uri.c_str(), nullptr);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(gtk_recent_info_get_mime_type(info), "image/png");
  EXPECT_TRUE(gtk_recent_info_has_application(info, "vorpix"));
  gtk_recent_info_unref(info);
  EXPECT_EQ(listed(), std::vector<std::string>{uri});

  // Other programs read the list from the shared file.
  run_for(kWriteDelayMs);
  const std::string contents = vorpix_test::file_contents(xbel);
  g_free(xbel);
  EXPECT_NE(contents.find(uri), std::string::npos);
}

TEST_F(RecentMenuTest, ListsTheTenNewestPicturesAndNeitherOtherFilesNorMissingOnes) {
  std::vector<std::string> pictures;
  for (int i = 0; i < kRecentMenuLimit + 2; i++) {
    pictures.push_back(dir_.file("p" + std::to_string(i) + ".png"));
    write_png(pictures.back(), 2, 2, kRed);
    file_record_recent(pictures.back().c_str());
  }
  // A text file another program recorded, and a picture deleted since.
  const std::string text = dir_.file("notes.txt");
  ASSERT_TRUE(g_file_set_contents(text.c_str(), "notes", -1, nullptr));
  GtkRecentData data = {};
  data.mime_type = const_cast<gchar *>("text/plain");
  data.app_name = const_cast<gchar *>("editor");
  data.app_exec = const_cast<gchar *>("editor %f");
  ASSERT_TRUE(gtk_recent_manager_add_full(gtk_recent_manager_get_default(),
                                          uri_of(text).c_str(), &data));
  g_unlink(pictures[0].c_str());
  // Not a picture at all: never recorded.
  file_record_recent(text.c_str());

  const std::vector<std::string> uris = listed();
  EXPECT_EQ(uris.size(), static_cast<size_t>(kRecentMenuLimit));
  for (const std::string &uri : uris) {
    EXPECT_NE(uri, uri_of(text));
    EXPECT_NE(uri, uri_of(pictures[0]));
    EXPECT_NE(std::find_if(pictures.begin(), pictures.end(),
                           [&](const std::string &p) { return uri_of(p) == uri; }),
              pictures.end())
        << uri;
  }
}

TEST_F(RecentMenuTest, ChoosingAPictureOpensItAfterTheSavePrompt) {
  const std::string path = dir_.file("red.png");
  write_png(path, 3, 2, kRed);
  file_record_recent(path.c_str());
  drawing_modified(drawing());

  {
    DialogAnswerer answers;
    answers.answer(GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(choose(path));
    EXPECT_EQ(answers.answered(), 1);
    EXPECT_TRUE(drawing()->untitled);  // cancelled: nothing opened
  }
  {
    DialogAnswerer answers;
    answers.answer(GTK_RESPONSE_NO);  // discard the changes
    ASSERT_TRUE(choose(path));
    EXPECT_EQ(answers.answered(), 1);
  }
  EXPECT_EQ(std::string(drawing()->filename->str), path);
  EXPECT_EQ(drawing()->width, 3);
  EXPECT_EQ(pixel(2, 1), kRed);
  EXPECT_FALSE(drawing()->modified);
}

TEST_F(RecentMenuTest, APictureSpoiledSinceItWasRecordedCannotBeOpenedAndChangesNothing) {
  const std::string path = dir_.file("spoiled.png");
  write_png(path, 3, 2, kRed);
  file_record_recent(path.c_str());
  ASSERT_TRUE(g_file_set_contents(path.c_str(), "\x89PNG garbage", -1, nullptr));

  DialogAnswerer answers;
  answers.answer(GTK_RESPONSE_OK);
  ASSERT_TRUE(choose(path));
  ASSERT_EQ(answers.texts().size(), 1u);
  EXPECT_EQ(answers.texts()[0], "Cannot open file " + path + ".");
  EXPECT_TRUE(drawing()->untitled);
}

}  // namespace
