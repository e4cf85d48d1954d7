// Printing: the page is rendered through the same operation the print dialog
// runs, exported to PDF and rasterised with pdftoppm; the saved settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "panels/print.h"
#include "tests/harness/alpha_pictures.h"
#include "tests/harness/scratch_dir.h"
#include "tests/harness/window_fixture.h"

using vorpix_test::DialogAnswerer;
using vorpix_test::TempDir;

namespace {

constexpr guint32 kRed = 0xff0000;
constexpr guint32 kGreen = 0x00ff00;
constexpr guint32 kBlue = 0x0000ff;
constexpr guint32 kWhite = 0xffffff;
// Page margins of the tests, in points.
constexpr double kLeft = 36;
constexpr double kTop = 50;
constexpr int kPointsPerInch = 72;
constexpr int kPixelsPerPoint = 5;
constexpr int kSampledPoints = 200;
constexpr int kColourTolerance = 4;
constexpr double kEdgeTolerance = 0.6;

// 90 by 30 pixels: red, green and blue thirds, opaque; a black pixel in the
// bottom-right corner.
VorpixImage *three_colour_image(int channels = 4) {
  VorpixImage *image = nullptr;
  if (channels == 4) {
    image = image_new(90, 30);
  } else {
    image = g_new0(VorpixImage, 1);
    image->pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 90, 30);
  }
  guchar *pixels = image_pixels(image);
  for (int y = 0; y < 30; y++) {
    for (int x = 0; x < 90; x++) {
      guchar *p = pixels + y * image_rowstride(image) + x * image_pixelsize(image);
      p[0] = x < 30 ? 0xff : 0;
      p[1] = x >= 30 && x < 60 ? 0xff : 0;
      p[2] = x >= 60 ? 0xff : 0;
      if (x == 89 && y == 29) p[0] = p[1] = p[2] = 0;
      if (channels == 4) p[3] = 0xff;
    }
  }
  return image;
}

GtkPageSetup *page_setup() {
  GtkPageSetup *setup = gtk_page_setup_new();
  GtkPaperSize *a4 = gtk_paper_size_new(GTK_PAPER_NAME_A4);
  gtk_page_setup_set_paper_size(setup, a4);
  gtk_paper_size_free(a4);
  gtk_page_setup_set_left_margin(setup, kLeft, GTK_UNIT_POINTS);
  gtk_page_setup_set_top_margin(setup, kTop, GTK_UNIT_POINTS);
  gtk_page_setup_set_right_margin(setup, 20, GTK_UNIT_POINTS);
  gtk_page_setup_set_bottom_margin(setup, 20, GTK_UNIT_POINTS);
  return setup;
}

// The top-left 200 by 200 points of the first page of a PDF file, rendered at
// kPixelsPerPoint pixels per point (a picture pixel per point would leave
// each sample at the mercy of the rasteriser's edge rounding); null on error.
GdkPixbuf *rasterise(const std::string &pdf) {
  std::string prefix = pdf + "-page";
  std::string size = std::to_string(kSampledPoints * kPixelsPerPoint);
  std::string command = "pdftoppm -q -png -singlefile -r " +
                        std::to_string(kPointsPerInch * kPixelsPerPoint) + " -x 0 -y 0 -W " + size +
                        " -H " + size + " '" + pdf + "' '" + prefix + "'";
  if (system(command.c_str()) != 0) return nullptr;
  return gdk_pixbuf_new_from_file((prefix + ".png").c_str(), nullptr);
}

guint32 device_pixel(GdkPixbuf *page, int px, int py) {
  const guchar *p = gdk_pixbuf_get_pixels(page) + py * gdk_pixbuf_get_rowstride(page) +
                    px * gdk_pixbuf_get_n_channels(page);
  return guint32(p[0]) << 16 | guint32(p[1]) << 8 | p[2];
}

// The colour at the centre of the page point (x, y).
guint32 page_pixel(GdkPixbuf *page, int x, int y) {
  return device_pixel(page, x * kPixelsPerPoint + kPixelsPerPoint / 2,
                      y * kPixelsPerPoint + kPixelsPerPoint / 2);
}

// The rasteriser smooths the images it enlarges: colours are compared with a
// small tolerance, and edges are located to within a fraction of a point.
::testing::AssertionResult near_colour(guint32 actual, guint32 expected) {
  for (int shift : {16, 8, 0}) {
    int a = actual >> shift & 0xff, e = expected >> shift & 0xff;
    if (abs(a - e) > kColourTolerance)
      return ::testing::AssertionFailure() << std::hex << actual << " is not " << expected;
  }
  return ::testing::AssertionSuccess();
}

// White, red, green, blue or dark, by the dominant channels.
int colour_class(guint32 value) {
  int r = value >> 16 & 0xff, g = value >> 8 & 0xff, b = value & 0xff;
  if (r > 0x80 && g > 0x80 && b > 0x80) return 0;
  if (r > 0x80) return 1;
  if (g > 0x80) return 2;
  if (b > 0x80) return 3;
  return 4;
}

// Page positions, in points, where the colour class changes along the line
// of device pixels through the centre of page row (or column) fixed_point.
std::vector<double> transitions(GdkPixbuf *page, int fixed_point, bool along_row) {
  std::vector<double> result;
  const int fixed = fixed_point * kPixelsPerPoint + kPixelsPerPoint / 2;
  int last = -1;
  for (int i = 0; i < kSampledPoints * kPixelsPerPoint; i++) {
    int kind =
        colour_class(along_row ? device_pixel(page, i, fixed) : device_pixel(page, fixed, i));
    if (last >= 0 && kind != last) result.push_back(static_cast<double>(i) / kPixelsPerPoint);
    last = kind;
  }
  return result;
}

// Checks the three-colour picture at (left, top) points of the page, one page
// point per picture pixel, and nothing beside it.
void expect_picture_at(GdkPixbuf *page, double left, double top) {
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(gdk_pixbuf_get_width(page), kSampledPoints * kPixelsPerPoint);
  ASSERT_EQ(gdk_pixbuf_get_height(page), kSampledPoints * kPixelsPerPoint);
  const int x0 = static_cast<int>(left), y0 = static_cast<int>(top);
  for (int y : {1, 15, 27}) {
    for (int x : {1, 15, 28}) EXPECT_TRUE(near_colour(page_pixel(page, x0 + x, y0 + y), kRed));
    for (int x : {31, 45, 58}) EXPECT_TRUE(near_colour(page_pixel(page, x0 + x, y0 + y), kGreen));
    for (int x : {61, 75, 87}) EXPECT_TRUE(near_colour(page_pixel(page, x0 + x, y0 + y), kBlue));
  }
  EXPECT_EQ(colour_class(page_pixel(page, x0 + 89, y0 + 29)), 4);  // the black corner
  EXPECT_EQ(page_pixel(page, 5, 5), kWhite);

  // Across a row: white margin, then 30 points each of red, green and blue,
  // then white again.  Down a column of the red part: 30 points of red.
  std::vector<double> across = transitions(page, y0 + 15, true);
  ASSERT_EQ(across.size(), 4u);
  const double expected_across[] = {left, left + 30, left + 60, left + 90};
  for (int i = 0; i < 4; i++) EXPECT_NEAR(across[i], expected_across[i], kEdgeTolerance) << i;
  std::vector<double> down = transitions(page, x0 + 15, false);
  ASSERT_EQ(down.size(), 2u);
  EXPECT_NEAR(down[0], top, kEdgeTolerance);
  EXPECT_NEAR(down[1], top + 30, kEdgeTolerance);
}

GtkPrintOperationResult export_pdf(GtkPrintOperation *operation, const std::string &pdf) {
  GtkPageSetup *setup = page_setup();
  gtk_print_operation_set_default_page_setup(operation, setup);
  g_object_unref(setup);
  gtk_print_operation_set_export_filename(operation, pdf.c_str());
  GError *error = nullptr;
  GtkPrintOperationResult result =
      gtk_print_operation_run(operation, GTK_PRINT_OPERATION_ACTION_EXPORT, nullptr, &error);
  EXPECT_EQ(error, nullptr) << (error ? error->message : "");
  g_clear_error(&error);
  return result;
}

int pages_of(const std::string &pdf) {
  gchar *out = nullptr;
  std::string command = "pdfinfo '" + pdf + "'";
  if (!g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr)) return -1;
  int pages = -1;
  if (const char *line = strstr(out, "Pages:")) pages = atoi(line + strlen("Pages:"));
  g_free(out);
  return pages;
}

TEST(Print, PageShowsThePictureUnscaledAtTheTopLeftInTrueColours) {
  TempDir scratch;
  std::string pdf = scratch.file("page.pdf");
  VorpixImage *image = three_colour_image();
  GtkPrintOperation *operation = print_operation_new(image, "pictures/three.png");
  gchar *job = nullptr;
  g_object_get(operation, "job-name", &job, nullptr);
  EXPECT_STREQ(job, "pictures/three.png");
  g_free(job);

  EXPECT_EQ(export_pdf(operation, pdf), GTK_PRINT_OPERATION_RESULT_APPLY);
  g_object_unref(operation);
  image_free(image);
  EXPECT_EQ(pages_of(pdf), 1);
  GdkPixbuf *page = rasterise(pdf);
  expect_picture_at(page, kLeft, kTop);
  if (page) g_object_unref(page);
}

TEST(Print, PictureWithoutAlphaPrintsInTrueColoursToo) {
  TempDir scratch;
  std::string pdf = scratch.file("rgb.pdf");
  VorpixImage *image = three_colour_image(3);
  GtkPrintOperation *operation = print_operation_new(image, "rgb");
  EXPECT_EQ(export_pdf(operation, pdf), GTK_PRINT_OPERATION_RESULT_APPLY);
  g_object_unref(operation);
  image_free(image);
  GdkPixbuf *page = rasterise(pdf);
  expect_picture_at(page, kLeft, kTop);
  if (page) g_object_unref(page);
}

// Paper has no alpha: the page's pixels are the picture over white, opaque.
TEST(Print, PictureWithAlphaPrintsOverWhite) {
  using namespace vorpix_test;
  VorpixImage *image = g_new0(VorpixImage, 1);
  image->pixbuf = new_banded_pixbuf();
  cairo_surface_t *surface = print_surface_new(image);
  ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_format(surface), CAIRO_FORMAT_RGB24);
  ASSERT_EQ(cairo_image_surface_get_width(surface), kBandsWidth);
  ASSERT_EQ(cairo_image_surface_get_height(surface), kBandsHeight);
  const unsigned char *data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < kBandsHeight; y++) {
    for (int x = 0; x < kBandsWidth; x++) {
      guint32 word;
      memcpy(&word, data + y * stride + x * 4, sizeof word);
      const Rgba got = {guchar(word >> 16), guchar(word >> 8), guchar(word), 255};
      ASSERT_EQ(got, over_colour(band_colour(x), Rgba{255, 255, 255, 255})) << x << "," << y;
    }
  }
  cairo_surface_destroy(surface);
  image_free(image);
}

int copies(GtkPrintSettings *settings) {
  return settings ? gtk_print_settings_get_n_copies(settings) : -1;
}

// Saves settings asking for n copies, as an earlier successful print of the
// image would.
void keep_settings_with_copies(VorpixImage *image, int n) {
  GtkPrintOperation *earlier = print_operation_new(image, "earlier");
  GtkPrintSettings *chosen = gtk_print_settings_new();
  gtk_print_settings_set_n_copies(chosen, n);
  gtk_print_operation_set_print_settings(earlier, chosen);
  g_object_unref(chosen);
  print_keep_settings(earlier, GTK_PRINT_OPERATION_RESULT_APPLY);
  g_object_unref(earlier);
}

TEST(Print, OnlyASuccessfulPrintReplacesTheSavedSettings) {
  VorpixImage *image = three_colour_image();

  keep_settings_with_copies(image, 3);
  EXPECT_EQ(copies(print_saved_settings()), 3);

  // The next operation starts from them, and what happens to its settings
  // does not reach the saved ones unless it prints.
  GtkPrintOperation *second = print_operation_new(image, "second");
  GtkPrintSettings *offered = gtk_print_operation_get_print_settings(second);
  EXPECT_EQ(copies(offered), 3);
  gtk_print_settings_set_n_copies(offered, 7);
  for (GtkPrintOperationResult result :
       {GTK_PRINT_OPERATION_RESULT_CANCEL, GTK_PRINT_OPERATION_RESULT_ERROR,
        GTK_PRINT_OPERATION_RESULT_IN_PROGRESS}) {
    print_keep_settings(second, result);
    EXPECT_EQ(copies(print_saved_settings()), 3) << result;
  }
  print_keep_settings(second, GTK_PRINT_OPERATION_RESULT_APPLY);
  EXPECT_EQ(copies(print_saved_settings()), 7);
  g_object_unref(second);
  image_free(image);
}

TEST(Print, CancellingThePrintDialogKeepsTheSavedSettings) {
  VorpixImage *image = three_colour_image();
  keep_settings_with_copies(image, 2);
  GtkPrintSettings *saved = print_saved_settings();

  DialogAnswerer dialogs;
  std::string kind;
  dialogs.answer(GTK_RESPONSE_CANCEL,
                 [&](GtkWidget *dialog) { kind = G_OBJECT_TYPE_NAME(dialog); });
  do_print(image, "cancelled");
  EXPECT_EQ(dialogs.answered(), 1);
  EXPECT_EQ(kind, "GtkPrintUnixDialog");
  EXPECT_EQ(print_saved_settings(), saved);
  EXPECT_EQ(copies(print_saved_settings()), 2);
  image_free(image);
}

TEST(Print, PrintingToAFileThroughTheDialogPrintsThePageAndKeepsTheChoices) {
  TempDir scratch;
  std::string pdf = scratch.file("printed.pdf");
  gchar *uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
  // Choices of an earlier print: the file printer, PDF, into the scratch folder.
  VorpixImage *image = three_colour_image();
  GtkPrintOperation *earlier = print_operation_new(image, "earlier");
  GtkPrintSettings *chosen = gtk_print_settings_new();
  gtk_print_settings_set_printer(chosen, "Print to File");
  gtk_print_settings_set(chosen, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  gtk_print_settings_set(chosen, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  gtk_print_operation_set_print_settings(earlier, chosen);
  g_object_unref(chosen);
  print_keep_settings(earlier, GTK_PRINT_OPERATION_RESULT_APPLY);
  g_object_unref(earlier);
  GtkPrintSettings *before = print_saved_settings();

  DialogAnswerer dialogs;
  bool printable = false;
  dialogs.answer(GTK_RESPONSE_OK,
                 [&](GtkWidget *dialog) {
                   printable = vorpix_test::wait_until_printable(dialog);
                 });
  do_print(image, "printed");
  ASSERT_TRUE(printable);
  image_free(image);

  // The printed file is complete once the job is sent.
  gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (pages_of(pdf) != 1 && g_get_monotonic_time() < end) vorpix_test::run_for(50);
  EXPECT_EQ(pages_of(pdf), 1);
  // The dialog's page setup is the default one.
  GtkPageSetup *setup = gtk_page_setup_new();
  GdkPixbuf *page = rasterise(pdf);
  expect_picture_at(page, gtk_page_setup_get_left_margin(setup, GTK_UNIT_POINTS),
                    gtk_page_setup_get_top_margin(setup, GTK_UNIT_POINTS));
  if (page) g_object_unref(page);
  g_object_unref(setup);
  // A successful print replaced the saved settings with its own.
  EXPECT_NE(print_saved_settings(), before);
  ASSERT_NE(print_saved_settings(), nullptr);
  EXPECT_STREQ(gtk_print_settings_get_printer(print_saved_settings()), "Print to File");
  EXPECT_STREQ(gtk_print_settings_get(print_saved_settings(), GTK_PRINT_SETTINGS_OUTPUT_URI), uri);
  g_free(uri);
}

TEST(Print, PreviewDoesNothing) {
  VorpixImage *image = three_colour_image();
  GtkPrintSettings *saved = print_saved_settings();
  DialogAnswerer trap;
  trap.answer(GTK_RESPONSE_CANCEL);
  do_print_preview(image, "preview");
  vorpix_test::run_for(100);
  EXPECT_EQ(trap.answered(), 0);
  EXPECT_EQ(print_saved_settings(), saved);
  image_free(image);
}

}  // namespace
