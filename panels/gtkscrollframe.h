// GtkScrollFrame: a GtkBin that shows its one child in a (optionally
// shadowed) frame beside a horizontal and a vertical scrollbar.  Each
// scrollbar follows a GtkPolicyType, the frame can sit in any corner relative
// to the scrollbars, and the mouse wheel scrolls it.  The child is normally a
// scrollable widget or a GtkViewport.
//
// Object arguments (readable and writable): "hadjustment", "vadjustment"
// (also construct arguments, so every frame has both scrollbars),
// "hscrollbar_policy", "vscrollbar_policy", "frame_placement", "shadow_type",
// "scrollbar_spacing".
//
// Every public function refuses a null or foreign frame with a critical
// message and returns without effect (null or 0 where there is a result).
#pragma once

#include <gtk/gtk.h>

#define GTK_TYPE_SCROLL_FRAME (gtk_scroll_frame_get_type())
#define GTK_SCROLL_FRAME(obj) \
  (G_TYPE_CHECK_INSTANCE_CAST((obj), GTK_TYPE_SCROLL_FRAME, GtkScrollFrame))
#define GTK_SCROLL_FRAME_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_CAST((klass), GTK_TYPE_SCROLL_FRAME, GtkScrollFrameClass))
#define GTK_IS_SCROLL_FRAME(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), GTK_TYPE_SCROLL_FRAME))
#define GTK_IS_SCROLL_FRAME_CLASS(klass) \
  (G_TYPE_CHECK_CLASS_TYPE((klass), GTK_TYPE_SCROLL_FRAME))

struct GtkScrollFramePrivate;

struct GtkScrollFrame {
  GtkBin bin;
  // Owned by the frame; freed when the frame is finalized.
  GtkScrollFramePrivate *priv;
};

struct GtkScrollFrameClass {
  GtkBinClass parent_class;
};

GtkType gtk_scroll_frame_get_type();

// A new floating frame.  Either adjustment may be null, in which case the
// scrollbar gets a new adjustment of all zeros.  Initial policies: always.
GtkWidget *gtk_scroll_frame_new(GtkAdjustment *hadj, GtkAdjustment *vadj);

// Setting an adjustment hands it to the scrollbar (which takes a reference)
// and to the child; null makes a new one.  Setting the current one does nothing.
void gtk_scroll_frame_set_hadjustment(GtkScrollFrame *sf, GtkAdjustment *adj);
void gtk_scroll_frame_set_vadjustment(GtkScrollFrame *sf, GtkAdjustment *adj);
// The scrollbar's adjustment, owned by the scrollbar; null while there is none.
GtkAdjustment *gtk_scroll_frame_get_hadjustment(GtkScrollFrame *sf);
GtkAdjustment *gtk_scroll_frame_get_vadjustment(GtkScrollFrame *sf);

void gtk_scroll_frame_set_policy(GtkScrollFrame *sf, GtkPolicyType hsb_policy,
                                 GtkPolicyType vsb_policy);
// Either address may be null.
void gtk_scroll_frame_get_policy(GtkScrollFrame *sf, GtkPolicyType *hsb_policy,
                                 GtkPolicyType *vsb_policy);

void gtk_scroll_frame_set_placement(GtkScrollFrame *sf, GtkCornerType frame_placement);

// Values outside GTK_SHADOW_NONE..GTK_SHADOW_ETCHED_OUT are refused.
void gtk_scroll_frame_set_shadow_type(GtkScrollFrame *sf, GtkShadowType shadow_type);
GtkShadowType gtk_scroll_frame_get_shadow_type(GtkScrollFrame *sf);

void gtk_scroll_frame_set_scrollbar_spacing(GtkScrollFrame *sf, guint spacing);

// Adds child (which must have no parent) inside a viewport made on the
// frame's adjustments, or inside the frame's existing, empty viewport child.
void gtk_scroll_frame_add_with_viewport(GtkScrollFrame *sf, GtkWidget *child);
