#include "document/size_dialogs.h"

#include <glib/gi18n.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFullTurn = 360;
constexpr double kDefaultTurn = 90;
constexpr double kHundred = 100;
constexpr double kMinPercent = 0.01;
constexpr int kPercentDigits = 2;
constexpr int kAngleDigits = 1;
constexpr int kSpacing = 6;
constexpr int kBorder = 8;

// Runs a modal dialog and destroys it.  The reference keeps the dialog alive
// when its parent's destruction takes it down while it runs.
int run_and_destroy(GtkWidget *dialog) {
  g_object_ref(dialog);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return response;
}

// Runs a modal dialog, keeping it (and so the values in it) alive until
// finish, even when its parent's destruction takes it down meanwhile.
bool run_accepted(GtkWidget *dialog) {
  g_object_ref(dialog);
  return gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
}

void finish(GtkWidget *dialog) {
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
}

GtkWidget *new_dialog(GtkWindow *parent, const char *title, const char *accept) {
  GtkWidget *dialog = gtk_dialog_new_with_buttons(
      title, parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, accept, GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_container_set_border_width(GTK_CONTAINER(GTK_DIALOG(dialog)->vbox), kBorder);
  gtk_box_set_spacing(GTK_BOX(GTK_DIALOG(dialog)->vbox), kSpacing);
  return dialog;
}

void pack(GtkWidget *dialog, GtkWidget *child) {
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), child, FALSE, FALSE, 0);
}

// What is typed goes back within the spin button's range at once; an empty
// text or a lone sign is the user still typing.
void keep_in_range(GtkEditable *editable, gpointer) {
  GtkSpinButton *spin = GTK_SPIN_BUTTON(editable);
  const char *text = gtk_entry_get_text(GTK_ENTRY(spin));
  char *end = nullptr;
  const double typed = g_ascii_strtod(text, &end);
  if (end == text) return;
  double low = 0, high = 0;
  gtk_spin_button_get_range(spin, &low, &high);
  if (typed > high || typed < low) gtk_spin_button_set_value(spin, std::clamp(typed, low, high));
}

GtkWidget *new_spin(const char *name, double low, double high, double value, int digits) {
  GtkWidget *spin = gtk_spin_button_new_with_range(low, high, 1);
  gtk_widget_set_name(spin, name);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(spin), digits);
  gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
  gtk_entry_set_activates_default(GTK_ENTRY(spin), TRUE);
  g_signal_connect(spin, "changed", G_CALLBACK(keep_in_range), nullptr);
  return spin;
}

GtkWidget *new_side_spin(const char *name, int value) {
  return new_spin(name, 1, kImageMaxSide, value, 0);
}

// A column of labelled rows.
GtkWidget *new_form(int rows) {
  GtkWidget *table = gtk_table_new(rows, 2, FALSE);
  gtk_table_set_row_spacings(GTK_TABLE(table), kSpacing);
  gtk_table_set_col_spacings(GTK_TABLE(table), kSpacing);
  return table;
}

void add_row(GtkWidget *table, int row, const char *label, GtkWidget *field) {
  GtkWidget *text = gtk_label_new_with_mnemonic(label);
  gtk_misc_set_alignment(GTK_MISC(text), 0, 0.5);
  gtk_label_set_mnemonic_widget(GTK_LABEL(text), field);
  gtk_table_attach(GTK_TABLE(table), text, 0, 1, row, row + 1, GTK_FILL, GTK_FILL, 0, 0);
  gtk_table_attach(GTK_TABLE(table), field, 1, 2, row, row + 1,
                   static_cast<GtkAttachOptions>(GTK_EXPAND | GTK_FILL), GTK_FILL, 0, 0);
}

int side_of(GtkWidget *spin) {
  gtk_spin_button_update(GTK_SPIN_BUTTON(spin));
  return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(spin));
}

int clamp_side(double side) {
  return static_cast<int>(std::clamp(std::lround(side), 1L, static_cast<long>(kImageMaxSide)));
}

// The number a spin button's text reads now, or its value when the text is
// no number yet.
double typed_value(GtkWidget *spin) {
  const char *text = gtk_entry_get_text(GTK_ENTRY(spin));
  char *end = nullptr;
  const double typed = g_ascii_strtod(text, &end);
  return end == text ? gtk_spin_button_get_value(GTK_SPIN_BUTTON(spin)) : typed;
}

// ---- canvas size

const char *const kAnchorTips[IMAGE_ANCHOR_COUNT] = {
    N_("Top left"),    N_("Top"),    N_("Top right"),
    N_("Left"),        N_("Centre"), N_("Right"),
    N_("Bottom left"), N_("Bottom"), N_("Bottom right"),
};
// Arrows pointing where the picture stays.
const char *const kAnchorMarks[IMAGE_ANCHOR_COUNT] = {
    "\u2196", "\u2191", "\u2197", "\u2190", "\u2022", "\u2192", "\u2199", "\u2193", "\u2198",
};

// ---- scale

struct ScaleForm {
  int width0, height0;
  GtkWidget *width, *height, *percent, *keep;
  bool updating = false;  // one change moves the others; theirs move nothing
};

void set_value(GtkWidget *spin, double value) {
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), value);
}

bool keeps_aspect(const ScaleForm *form) {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(form->keep));
}

void from_width(ScaleForm *form) {
  const double width = typed_value(form->width);
  if (keeps_aspect(form))
    set_value(form->height, clamp_side(width * form->height0 / form->width0));
  set_value(form->percent, width * kHundred / form->width0);
}

void on_scale_width_changed(GtkEditable *, gpointer data) {
  auto *form = static_cast<ScaleForm *>(data);
  if (form->updating) return;
  form->updating = true;
  from_width(form);
  form->updating = false;
}

void on_scale_height_changed(GtkEditable *, gpointer data) {
  auto *form = static_cast<ScaleForm *>(data);
  if (form->updating) return;
  form->updating = true;
  const double height = typed_value(form->height);
  if (keeps_aspect(form)) {
    const int width = clamp_side(height * form->width0 / form->height0);
    set_value(form->width, width);
    set_value(form->percent, width * kHundred / form->width0);
  }
  form->updating = false;
}

void on_scale_percent_changed(GtkEditable *, gpointer data) {
  auto *form = static_cast<ScaleForm *>(data);
  if (form->updating) return;
  form->updating = true;
  const double percent = typed_value(form->percent);
  set_value(form->width, clamp_side(form->width0 * percent / kHundred));
  set_value(form->height, clamp_side(form->height0 * percent / kHundred));
  form->updating = false;
}

void on_scale_keep_toggled(GtkToggleButton *, gpointer data) {
  auto *form = static_cast<ScaleForm *>(data);
  if (!keeps_aspect(form)) return;
  form->updating = true;
  from_width(form);
  form->updating = false;
}

GtkWidget *message(GtkWindow *parent, GtkMessageType type, GtkButtonsType buttons,
                   const char *text) {
  GtkWidget *dialog = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
      buttons, "%s", text);
  return dialog;
}

}  // namespace

bool size_dialog_canvas_size(GtkWindow *parent, int width, int height, int *new_width,
                             int *new_height, int *anchor) {
  GtkWidget *dialog = new_dialog(parent, _("Canvas Size"), GTK_STOCK_OK);
  GtkWidget *form = new_form(3);
  GtkWidget *width_spin = new_side_spin("canvas_size_width", width);
  GtkWidget *height_spin = new_side_spin("canvas_size_height", height);
  add_row(form, 0, _("_Width (pixels):"), width_spin);
  add_row(form, 1, _("_Height (pixels):"), height_spin);

  GtkWidget *grid = gtk_table_new(3, 3, TRUE);
  GtkWidget *anchors[IMAGE_ANCHOR_COUNT];
  GSList *group = nullptr;
  for (int i = 0; i < IMAGE_ANCHOR_COUNT; i++) {
    anchors[i] = gtk_radio_button_new_with_label(group, kAnchorMarks[i]);
    group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(anchors[i]));
    gtk_toggle_button_set_mode(GTK_TOGGLE_BUTTON(anchors[i]), FALSE);
    gtk_widget_set_tooltip_text(anchors[i], _(kAnchorTips[i]));
    gchar *name = g_strdup_printf("canvas_size_anchor%d", i);
    gtk_widget_set_name(anchors[i], name);
    g_free(name);
    gtk_table_attach_defaults(GTK_TABLE(grid), anchors[i], i % 3, i % 3 + 1, i / 3, i / 3 + 1);
  }
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(anchors[IMAGE_ANCHOR_TOP_LEFT]), TRUE);
  GtkWidget *anchor_label = gtk_label_new(_("Anchor:"));
  gtk_misc_set_alignment(GTK_MISC(anchor_label), 0, 0);
  gtk_table_attach(GTK_TABLE(form), anchor_label, 0, 1, 2, 3, GTK_FILL, GTK_FILL, 0, 0);
  gtk_table_attach(GTK_TABLE(form), grid, 1, 2, 2, 3, GTK_SHRINK, GTK_SHRINK, 0, 0);
  pack(dialog, form);
  gtk_widget_show_all(dialog);

  const bool accepted = run_accepted(dialog);
  if (accepted) {
    *new_width = side_of(width_spin);
    *new_height = side_of(height_spin);
    *anchor = IMAGE_ANCHOR_TOP_LEFT;
    for (int i = 0; i < IMAGE_ANCHOR_COUNT; i++)
      if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(anchors[i]))) *anchor = i;
  }
  finish(dialog);
  return accepted;
}

bool size_dialog_scale(GtkWindow *parent, int width, int height, int *new_width, int *new_height,
                       ImageScaleKind *kind) {
  GtkWidget *dialog = new_dialog(parent, _("Scale Image"), GTK_STOCK_OK);
  ScaleForm form;
  form.width0 = width;
  form.height0 = height;
  form.width = new_side_spin("scale_width", width);
  form.height = new_side_spin("scale_height", height);
  // Up to the size at which the longer side reaches the limit.
  const double most = kHundred * kImageMaxSide / std::max(width, height);
  form.percent = new_spin("scale_percent", kMinPercent, most, kHundred, kPercentDigits);
  form.keep = gtk_check_button_new_with_mnemonic(_("_Keep aspect ratio"));
  gtk_widget_set_name(form.keep, "scale_keep_aspect");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(form.keep), TRUE);
  GtkWidget *smooth = gtk_radio_button_new_with_mnemonic(nullptr, _("_Smooth"));
  gtk_widget_set_name(smooth, "scale_smooth");
  GtkWidget *exact = gtk_radio_button_new_with_mnemonic_from_widget(
      GTK_RADIO_BUTTON(smooth), _("Pixel-_exact (nearest neighbour, for pixel art)"));
  gtk_widget_set_name(exact, "scale_pixel_exact");

  GtkWidget *table = new_form(3);
  add_row(table, 0, _("_Width (pixels):"), form.width);
  add_row(table, 1, _("_Height (pixels):"), form.height);
  add_row(table, 2, _("_Percentage:"), form.percent);
  pack(dialog, table);
  pack(dialog, form.keep);
  pack(dialog, smooth);
  pack(dialog, exact);
  g_signal_connect(form.width, "changed", G_CALLBACK(on_scale_width_changed), &form);
  g_signal_connect(form.height, "changed", G_CALLBACK(on_scale_height_changed), &form);
  g_signal_connect(form.percent, "changed", G_CALLBACK(on_scale_percent_changed), &form);
  g_signal_connect(form.keep, "toggled", G_CALLBACK(on_scale_keep_toggled), &form);
  gtk_widget_show_all(dialog);

  const bool accepted = run_accepted(dialog);
  if (accepted) {
    // The form's handlers must not run on the values read back.
    form.updating = true;
    *new_width = side_of(form.width);
    *new_height = side_of(form.height);
    *kind = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(exact)) ? IMAGE_SCALE_PIXEL_EXACT
                                                                   : IMAGE_SCALE_SMOOTH;
  }
  // Destroying the dialog while its handlers hold the form on the stack.
  g_signal_handlers_disconnect_matched(form.width, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                       &form);
  g_signal_handlers_disconnect_matched(form.height, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                       &form);
  g_signal_handlers_disconnect_matched(form.percent, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                       &form);
  g_signal_handlers_disconnect_matched(form.keep, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                       &form);
  finish(dialog);
  return accepted;
}

bool size_dialog_rotate(GtkWindow *parent, double *degrees) {
  GtkWidget *dialog = new_dialog(parent, _("Rotate"), GTK_STOCK_OK);
  GtkWidget *angle = new_spin("rotate_angle", -kFullTurn, kFullTurn, kDefaultTurn, kAngleDigits);
  GtkWidget *form = new_form(1);
  add_row(form, 0, _("_Angle (degrees clockwise):"), angle);
  pack(dialog, form);
  GtkWidget *hint = gtk_label_new(_("Negative angles turn counter-clockwise."));
  gtk_misc_set_alignment(GTK_MISC(hint), 0, 0.5);
  pack(dialog, hint);
  gtk_widget_show_all(dialog);

  const bool accepted = run_accepted(dialog);
  if (accepted) {
    gtk_spin_button_update(GTK_SPIN_BUTTON(angle));
    *degrees = gtk_spin_button_get_value(GTK_SPIN_BUTTON(angle));
  }
  finish(dialog);
  return accepted;
}

bool size_dialog_confirm_revert(GtkWindow *parent, const char *filename) {
  gchar *shown = g_filename_display_basename(filename);
  gchar *text = g_strdup_printf(
      _("Revert to the saved version of \"%s\"? Changes made since it was saved will be lost."),
      shown);
  GtkWidget *dialog = message(parent, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, text);
  g_free(text);
  g_free(shown);
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                         GTK_STOCK_REVERT_TO_SAVED, GTK_RESPONSE_ACCEPT, nullptr);
  return run_and_destroy(dialog) == GTK_RESPONSE_ACCEPT;
}

bool size_dialog_ask_enlarge(GtkWindow *parent) {
  GtkWidget *dialog =
      message(parent, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
              _("The pasted picture is larger than the canvas. Enlarge the canvas to fit it?"));
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), _("_Keep Size"), GTK_RESPONSE_NO, _("_Enlarge"),
                         GTK_RESPONSE_YES, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
  return run_and_destroy(dialog) == GTK_RESPONSE_YES;
}

void size_dialog_show_invalid(GtkWindow *parent) {
  run_and_destroy(
      message(parent, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, _("Invalid width or height values")));
}

void size_dialog_show_no_memory(GtkWindow *parent, const char *what) {
  gchar *text = g_strdup_printf(_("Not enough memory to %s."), what);
  run_and_destroy(message(parent, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, text));
  g_free(text);
}

namespace {

struct LaterMessage {
  GtkWidget *parent;  // one reference, or null
  gchar *what;
};

gboolean on_no_memory_idle(gpointer data) {
  auto *later = static_cast<LaterMessage *>(data);
  GtkWindow *parent = later->parent && GTK_IS_WINDOW(later->parent) &&
                              gtk_widget_get_visible(later->parent)
                          ? GTK_WINDOW(later->parent)
                          : nullptr;
  size_dialog_show_no_memory(parent, later->what);
  if (later->parent) g_object_unref(later->parent);
  g_free(later->what);
  g_free(later);
  return G_SOURCE_REMOVE;
}

}  // namespace

void size_dialog_show_no_memory_soon(GtkWindow *parent, const char *what) {
  auto *later = g_new0(LaterMessage, 1);
  later->parent = parent ? GTK_WIDGET(g_object_ref(parent)) : nullptr;
  later->what = g_strdup(what);
  g_idle_add(on_no_memory_idle, later);
}
