// GtkScrollFrame: a GtkBin with two scrollbars and a shadowed frame.
#include "panels/gtkscrollframe.h"

#include <algorithm>

struct GtkScrollFramePrivate {
  GtkWidget *hscrollbar;  // composite child "hscrollbar"; the frame holds a reference
  GtkWidget *vscrollbar;  // composite child "vscrollbar"; likewise
  guint32 scrollbar_spacing;
  GdkRectangle frame_area;  // the child's allocation, in the frame's window coordinates
  guint16 hscrollbar_policy : 2;   // GtkPolicyType
  guint16 vscrollbar_policy : 2;   // GtkPolicyType
  guint16 hscrollbar_visible : 1;  // takes part in the layout
  guint16 vscrollbar_visible : 1;
  guint16 frame_placement : 2;  // GtkCornerType: bit 0 = hscrollbar above, bit 1 = vscrollbar left
  guint16 shadow_type : 3;      // GtkShadowType
};

namespace {

enum {
  ARG_0,
  ARG_HADJUSTMENT,
  ARG_VADJUSTMENT,
  ARG_HSCROLLBAR_POLICY,
  ARG_VSCROLLBAR_POLICY,
  ARG_FRAME_PLACEMENT,
  ARG_SHADOW_TYPE,
  ARG_SCROLLBAR_SPACING
};

constexpr guint32 kDefaultScrollbarSpacing = 3;
constexpr guint kWheelUpButton = 4;
constexpr guint kWheelDownButton = 5;
// Fraction of the page increment that one wheel step moves.
constexpr double kWheelStep = 0.5;

constexpr guint kPlacementHScrollbarAbove = 1 << 0;
constexpr guint kPlacementVScrollbarLeft = 1 << 1;

GtkBinClass *parent_class = nullptr;

// Drops a reference handed out by g_object_get on every return path.
class ObjectRef {
 public:
  explicit ObjectRef(gpointer object) : object_(object) {}
  ~ObjectRef() {
    if (object_) g_object_unref(object_);
  }
  ObjectRef(const ObjectRef &) = delete;
  ObjectRef &operator=(const ObjectRef &) = delete;

 private:
  gpointer object_;
};

// The scrollbar's adjustment; null while the scrollbar is not made yet.
GtkAdjustment *adjustment_of(GtkWidget *scrollbar) {
  return scrollbar ? gtk_range_get_adjustment(GTK_RANGE(scrollbar)) : nullptr;
}

void adjustment_changed(GtkAdjustment *adj, gpointer data) {
  g_return_if_fail(adj != NULL);
  g_return_if_fail(GTK_IS_ADJUSTMENT (adj));
  g_return_if_fail(data != NULL);

  GtkScrollFrame *sf = GTK_SCROLL_FRAME(data);
  GtkScrollFramePrivate *priv = sf->priv;

  if (adj == adjustment_of(priv->hscrollbar)) {
    if (priv->hscrollbar_policy == GTK_POLICY_AUTOMATIC) {
      const gboolean visible = adj->upper - adj->lower > adj->page_size;
      if (visible != priv->hscrollbar_visible) {
        priv->hscrollbar_visible = visible;
        gtk_widget_queue_resize(GTK_WIDGET(sf));
      }
    }
  }
  if (adj == adjustment_of(priv->vscrollbar)) {
    if (priv->vscrollbar_policy == GTK_POLICY_AUTOMATIC) {
      const gboolean visible = adj->upper - adj->lower > adj->page_size;
      if (visible != priv->vscrollbar_visible) {
        priv->vscrollbar_visible = visible;
        gtk_widget_queue_resize(GTK_WIDGET(sf));
      }
    }
  }
}

// The horizontal or the vertical scrollbar's adjustment becomes adj (a new
// empty one when null), the scrollbar being made on first use.
void set_adjustment(GtkScrollFrame *sf, GtkAdjustment *adj, GtkOrientation orientation) {
  const bool horizontal = orientation == GTK_ORIENTATION_HORIZONTAL;
  GtkWidget **scrollbar = horizontal ? &sf->priv->hscrollbar : &sf->priv->vscrollbar;
  if (!adj) adj = GTK_ADJUSTMENT(gtk_adjustment_new(0.0, 0.0, 0.0, 0.0, 0.0, 0.0));

  if (*scrollbar) {
    GtkAdjustment *old_adj = gtk_range_get_adjustment(GTK_RANGE(*scrollbar));
    if (old_adj == adj) return;
    g_signal_handlers_disconnect_by_func(old_adj, reinterpret_cast<gpointer>(adjustment_changed),
                                         sf);
    gtk_range_set_adjustment(GTK_RANGE(*scrollbar), adj);
  } else {
    gtk_widget_push_composite_child();
    *scrollbar = horizontal ? gtk_hscrollbar_new(adj) : gtk_vscrollbar_new(adj);
    gtk_widget_set_composite_name(*scrollbar, horizontal ? "hscrollbar" : "vscrollbar");
    gtk_widget_pop_composite_child();

    gtk_widget_set_parent(*scrollbar, GTK_WIDGET(sf));
    g_object_ref(*scrollbar);
    gtk_widget_show(*scrollbar);
  }

  GtkAdjustment *current = gtk_range_get_adjustment(GTK_RANGE(*scrollbar));
  g_signal_connect(current, "changed", G_CALLBACK(adjustment_changed), sf);
  adjustment_changed(current, sf);

  GtkWidget *child = GTK_BIN(sf)->child;
  if (child)
    gtk_widget_set_scroll_adjustments(child, gtk_scroll_frame_get_hadjustment(sf),
                                      gtk_scroll_frame_get_vadjustment(sf));
}

void gtk_scroll_frame_set_arg(GtkObject *object, GtkArg *arg, guint arg_id) {
  GtkScrollFrame *sf = GTK_SCROLL_FRAME(object);
  GtkScrollFramePrivate *priv = sf->priv;

  switch (arg_id) {
    case ARG_HADJUSTMENT:
      gtk_scroll_frame_set_hadjustment(sf, reinterpret_cast<GtkAdjustment *>(GTK_VALUE_OBJECT(*arg)));
      break;
    case ARG_VADJUSTMENT:
      gtk_scroll_frame_set_vadjustment(sf, reinterpret_cast<GtkAdjustment *>(GTK_VALUE_OBJECT(*arg)));
      break;
    case ARG_HSCROLLBAR_POLICY:
      gtk_scroll_frame_set_policy(sf, static_cast<GtkPolicyType>(GTK_VALUE_ENUM(*arg)),
                                  static_cast<GtkPolicyType>(priv->vscrollbar_policy));
      break;
    case ARG_VSCROLLBAR_POLICY:
      gtk_scroll_frame_set_policy(sf, static_cast<GtkPolicyType>(priv->hscrollbar_policy),
                                  static_cast<GtkPolicyType>(GTK_VALUE_ENUM(*arg)));
      break;
    case ARG_FRAME_PLACEMENT:
      gtk_scroll_frame_set_placement(sf, static_cast<GtkCornerType>(GTK_VALUE_ENUM(*arg)));
      break;
    case ARG_SHADOW_TYPE:
      gtk_scroll_frame_set_shadow_type(sf, static_cast<GtkShadowType>(GTK_VALUE_ENUM(*arg)));
      break;
    case ARG_SCROLLBAR_SPACING:
      gtk_scroll_frame_set_scrollbar_spacing(sf, GTK_VALUE_UINT(*arg));
      break;
    default:
      break;
  }
}

void gtk_scroll_frame_get_arg(GtkObject *object, GtkArg *arg, guint arg_id) {
  GtkScrollFrame *sf = GTK_SCROLL_FRAME(object);
  GtkScrollFramePrivate *priv = sf->priv;

  switch (arg_id) {
    case ARG_HADJUSTMENT:
      GTK_VALUE_OBJECT(*arg) = GTK_OBJECT(gtk_scroll_frame_get_hadjustment(sf));
      break;
    case ARG_VADJUSTMENT:
      GTK_VALUE_OBJECT(*arg) = GTK_OBJECT(gtk_scroll_frame_get_vadjustment(sf));
      break;
    case ARG_HSCROLLBAR_POLICY:
      GTK_VALUE_ENUM(*arg) = priv->hscrollbar_policy;
      break;
    case ARG_VSCROLLBAR_POLICY:
      GTK_VALUE_ENUM(*arg) = priv->vscrollbar_policy;
      break;
    case ARG_FRAME_PLACEMENT:
      GTK_VALUE_ENUM(*arg) = priv->frame_placement;
      break;
    case ARG_SHADOW_TYPE:
      GTK_VALUE_ENUM(*arg) = priv->shadow_type;
      break;
    case ARG_SCROLLBAR_SPACING:
      GTK_VALUE_UINT(*arg) = priv->scrollbar_spacing;
      break;
    default:
      arg->type = GTK_TYPE_INVALID;
      break;
  }
}

void gtk_scroll_frame_destroy(GtkObject *object) {
  g_return_if_fail(object != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (object));

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(object)->priv;

  // An adjustment may outlive the frame; it must not call back into it.
  for (GtkWidget *scrollbar : {priv->hscrollbar, priv->vscrollbar}) {
    if (scrollbar && GTK_RANGE(scrollbar)->adjustment)
      g_signal_handlers_disconnect_by_func(GTK_RANGE(scrollbar)->adjustment,
                                           reinterpret_cast<gpointer>(adjustment_changed), object);
  }

  if (priv->hscrollbar) gtk_widget_unparent(priv->hscrollbar);
  if (priv->vscrollbar) gtk_widget_unparent(priv->vscrollbar);
  if (priv->hscrollbar) gtk_widget_destroy(priv->hscrollbar);
  if (priv->vscrollbar) gtk_widget_destroy(priv->vscrollbar);

  if (GTK_OBJECT_CLASS(parent_class)->destroy) GTK_OBJECT_CLASS(parent_class)->destroy(object);
}

// destroy may run more than once; the scrollbar references and the private
// record are released only here, when nothing can reach the frame any more.
void gtk_scroll_frame_finalize(GObject *object) {
  GtkScrollFrame *sf = GTK_SCROLL_FRAME(object);
  GtkScrollFramePrivate *priv = sf->priv;

  if (priv->hscrollbar) g_object_unref(priv->hscrollbar);
  if (priv->vscrollbar) g_object_unref(priv->vscrollbar);
  g_free(priv);
  sf->priv = nullptr;

  G_OBJECT_CLASS(parent_class)->finalize(object);
}

void gtk_scroll_frame_map(GtkWidget *widget) {
  g_return_if_fail(widget != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (widget));

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;

  if (GTK_WIDGET_CLASS(parent_class)->map) GTK_WIDGET_CLASS(parent_class)->map(widget);

  for (GtkWidget *scrollbar : {priv->hscrollbar, priv->vscrollbar}) {
    if (scrollbar && GTK_WIDGET_VISIBLE(scrollbar) && !GTK_WIDGET_MAPPED(scrollbar))
      gtk_widget_map(scrollbar);
  }
}

void gtk_scroll_frame_unmap(GtkWidget *widget) {
  g_return_if_fail(widget != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (widget));

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;

  if (GTK_WIDGET_CLASS(parent_class)->unmap) GTK_WIDGET_CLASS(parent_class)->unmap(widget);

  for (GtkWidget *scrollbar : {priv->hscrollbar, priv->vscrollbar}) {
    if (scrollbar && GTK_WIDGET_MAPPED(scrollbar)) gtk_widget_unmap(scrollbar);
  }
}

GQuark aux_info_quark() {
  static GQuark quark = 0;
  if (!quark) quark = g_quark_from_static_string("gtk-aux-info");
  return quark;
}

void gtk_scroll_frame_size_request(GtkWidget *widget, GtkRequisition *requisition) {
  g_return_if_fail(widget != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (widget));
  g_return_if_fail(requisition != NULL);

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;
  GtkBin *bin = GTK_BIN(widget);
  const gint border = GTK_CONTAINER(widget)->border_width;
  const gint spacing = priv->scrollbar_spacing;

  requisition->width = requisition->height = 2 * border;

  GtkRequisition hsb_requisition;
  GtkRequisition vsb_requisition;
  gtk_widget_size_request(priv->hscrollbar, &hsb_requisition);
  gtk_widget_size_request(priv->vscrollbar, &vsb_requisition);

  gint extra_width = 0;
  gint extra_height = 0;

  if (bin->child && GTK_WIDGET_VISIBLE(bin->child)) {
    // The child's explicitly set size (gtk_widget_set_size_request), if any.
    auto *aux_info =
        static_cast<GtkWidgetAuxInfo *>(g_object_get_qdata(G_OBJECT(bin->child), aux_info_quark()));
    GtkRequisition child_requisition;
    gtk_widget_size_request(bin->child, &child_requisition);

    if (priv->hscrollbar_policy == GTK_POLICY_NEVER) {
      requisition->width += child_requisition.width;
    } else if (aux_info && aux_info->width > 0) {
      requisition->width += aux_info->width;
      extra_width = -1;
    } else {
      requisition->width += vsb_requisition.width;
    }

    if (priv->vscrollbar_policy == GTK_POLICY_NEVER) {
      requisition->height += child_requisition.height;
    } else if (aux_info && aux_info->height > 0) {
      requisition->height += aux_info->height;
      extra_height = -1;
    } else {
      requisition->height += hsb_requisition.height;
    }
  }

  if (priv->hscrollbar_policy == GTK_POLICY_AUTOMATIC || GTK_WIDGET_VISIBLE(priv->hscrollbar)) {
    requisition->width = std::max(requisition->width, hsb_requisition.width);
    if (!extra_height || GTK_WIDGET_VISIBLE(priv->hscrollbar))
      extra_height = hsb_requisition.height + spacing;
  }

  if (priv->vscrollbar_policy == GTK_POLICY_AUTOMATIC || GTK_WIDGET_VISIBLE(priv->vscrollbar)) {
    requisition->height = std::max(requisition->height, vsb_requisition.height);
    if (!extra_width || GTK_WIDGET_VISIBLE(priv->vscrollbar))
      extra_width = vsb_requisition.width + spacing;
  }

  requisition->width += std::max(0, extra_width);
  requisition->height += std::max(0, extra_height);
}

// The frame's rectangle relative to the widget's allocation.
void compute_relative_allocation(GtkWidget *widget, GtkAllocation *allocation) {
  g_assert(GTK_IS_SCROLL_FRAME (widget));
  g_assert(allocation != NULL);

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;
  const gint border = GTK_CONTAINER(widget)->border_width;
  const gint spacing = priv->scrollbar_spacing;

  allocation->x = border;
  allocation->y = border;
  allocation->width = std::max(1, widget->allocation.width - 2 * border);
  allocation->height = std::max(1, widget->allocation.height - 2 * border);

  if (priv->vscrollbar_visible) {
    GtkRequisition vsb_requisition;
    gtk_widget_get_child_requisition(priv->vscrollbar, &vsb_requisition);
    if (priv->frame_placement & kPlacementVScrollbarLeft)
      allocation->x += vsb_requisition.width + spacing;
    allocation->width = std::max(1, allocation->width - (vsb_requisition.width + spacing));
  }

  if (priv->hscrollbar_visible) {
    GtkRequisition hsb_requisition;
    gtk_widget_get_child_requisition(priv->hscrollbar, &hsb_requisition);
    if (priv->frame_placement & kPlacementHScrollbarAbove)
      allocation->y += hsb_requisition.height + spacing;
    allocation->height = std::max(1, allocation->height - (hsb_requisition.height + spacing));
  }
}

void gtk_scroll_frame_size_allocate(GtkWidget *widget, GtkAllocation *allocation) {
  g_return_if_fail(widget != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (widget));
  g_return_if_fail(allocation != NULL);

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;
  GtkBin *bin = GTK_BIN(widget);
  const gint border = GTK_CONTAINER(widget)->border_width;
  const gint spacing = priv->scrollbar_spacing;

  widget->allocation = *allocation;

  if (priv->hscrollbar_policy == GTK_POLICY_ALWAYS)
    priv->hscrollbar_visible = TRUE;
  else if (priv->hscrollbar_policy == GTK_POLICY_NEVER)
    priv->hscrollbar_visible = FALSE;
  if (priv->vscrollbar_policy == GTK_POLICY_ALWAYS)
    priv->vscrollbar_visible = TRUE;
  else if (priv->vscrollbar_policy == GTK_POLICY_NEVER)
    priv->vscrollbar_visible = FALSE;

  GtkAllocation relative;
  if (bin->child && GTK_WIDGET_VISIBLE(bin->child)) {
    // Allocating the child may change its adjustments and so flip an
    // automatic scrollbar, which changes the room left for the child.
    for (int pass = 0;; ++pass) {
      compute_relative_allocation(widget, &relative);

      priv->frame_area.x = allocation->x + relative.x;
      priv->frame_area.y = allocation->y + relative.y;
      priv->frame_area.width = relative.width;
      priv->frame_area.height = relative.height;

      const gboolean previous_hvis = priv->hscrollbar_visible;
      const gboolean previous_vvis = priv->vscrollbar_visible;

      GtkAllocation child_allocation;
      child_allocation.x = priv->frame_area.x;
      child_allocation.y = priv->frame_area.y;
      child_allocation.width = std::max(0, relative.width);
      child_allocation.height = std::max(0, relative.height);
      gtk_widget_size_allocate(bin->child, &child_allocation);

      const bool hvis_changed = previous_hvis != priv->hscrollbar_visible;
      const bool vvis_changed = previous_vvis != priv->vscrollbar_visible;

      // Both flipping again means each needs the other: show both.  A resize
      // is already queued, so the layout is redone with them.
      if (pass > 0 && hvis_changed && vvis_changed) {
        priv->hscrollbar_visible = TRUE;
        priv->vscrollbar_visible = TRUE;
        return;
      }
      if (!hvis_changed && !vvis_changed) break;
    }
  } else {
    compute_relative_allocation(widget, &relative);
  }

  if (priv->hscrollbar_visible) {
    if (!GTK_WIDGET_VISIBLE(priv->hscrollbar)) gtk_widget_show(priv->hscrollbar);

    GtkRequisition hsb_requisition;
    gtk_widget_get_child_requisition(priv->hscrollbar, &hsb_requisition);

    GtkAllocation child_allocation;
    child_allocation.x = allocation->x + relative.x;
    child_allocation.y =
        allocation->y + ((priv->frame_placement & kPlacementHScrollbarAbove)
                             ? border
                             : relative.y + relative.height + spacing);
    child_allocation.width = relative.width;
    child_allocation.height = hsb_requisition.height;
    gtk_widget_size_allocate(priv->hscrollbar, &child_allocation);
  } else if (GTK_WIDGET_VISIBLE(priv->hscrollbar)) {
    gtk_widget_hide(priv->hscrollbar);
  }

  if (priv->vscrollbar_visible) {
    if (!GTK_WIDGET_VISIBLE(priv->vscrollbar)) gtk_widget_show(priv->vscrollbar);

    GtkRequisition vsb_requisition;
    gtk_widget_get_child_requisition(priv->vscrollbar, &vsb_requisition);

    GtkAllocation child_allocation;
    child_allocation.x =
        allocation->x + ((priv->frame_placement & kPlacementVScrollbarLeft)
                             ? border
                             : relative.x + relative.width + spacing);
    child_allocation.y = allocation->y + relative.y;
    child_allocation.width = vsb_requisition.width;
    child_allocation.height = relative.height;
    gtk_widget_size_allocate(priv->vscrollbar, &child_allocation);
  } else if (GTK_WIDGET_VISIBLE(priv->vscrollbar)) {
    gtk_widget_hide(priv->vscrollbar);
  }
}

// One wheel step of direction (-1 up, +1 down) on the horizontal or the
// vertical adjustment.
gboolean wheel_step(GtkWidget *widget, bool horizontal, int direction) {
  GtkAdjustment *adj = nullptr;
  gtk_object_get(GTK_OBJECT(widget), horizontal ? "hadjustment" : "vadjustment", &adj, NULL);
  ObjectRef adj_ref(adj);
  if (!adj) return FALSE;

  const gfloat v = static_cast<gfloat>(adj->value + adj->page_increment * direction * kWheelStep);
  const gdouble limit = adj->upper - adj->page_size;
  const gdouble value = v > limit ? limit : std::max(adj->lower, static_cast<gdouble>(v));
  gtk_adjustment_set_value(adj, static_cast<gfloat>(value));
  return TRUE;
}

gboolean gtk_scroll_frame_button_press(GtkWidget *widget, GdkEventButton *event) {
  g_return_val_if_fail(widget != NULL, FALSE);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (widget), FALSE);
  g_return_val_if_fail(event != NULL, FALSE);

  if (event->button != kWheelUpButton && event->button != kWheelDownButton) return FALSE;

  return wheel_step(widget, (event->state & GDK_CONTROL_MASK) != 0,
                    event->button == kWheelUpButton ? -1 : 1);
}

// GDK on X delivers the wheel as scroll events, never as presses of buttons
// 4 and 5, so the same steps are taken here.
gboolean gtk_scroll_frame_scroll(GtkWidget *widget, GdkEventScroll *event) {
  g_return_val_if_fail(widget != NULL, FALSE);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (widget), FALSE);
  g_return_val_if_fail(event != NULL, FALSE);

  if (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN) return FALSE;

  return wheel_step(widget, (event->state & GDK_CONTROL_MASK) != 0,
                    event->direction == GDK_SCROLL_UP ? -1 : 1);
}

gboolean gtk_scroll_frame_expose(GtkWidget *widget, GdkEventExpose *event) {
  g_return_val_if_fail(widget != NULL, FALSE);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (widget), FALSE);
  g_return_val_if_fail(event != NULL, FALSE);

  GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(widget)->priv;

  if (GTK_WIDGET_DRAWABLE(widget)) {
    gtk_paint_shadow(widget->style, widget->window, GTK_STATE_NORMAL,
                     static_cast<GtkShadowType>(priv->shadow_type), &event->area, widget,
                     "scroll_frame", priv->frame_area.x, priv->frame_area.y,
                     priv->frame_area.width, priv->frame_area.height);
  }

  if (GTK_WIDGET_CLASS(parent_class)->expose_event)
    GTK_WIDGET_CLASS(parent_class)->expose_event(widget, event);

  return FALSE;
}

void gtk_scroll_frame_add(GtkContainer *container, GtkWidget *child) {
  g_return_if_fail(container != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (container));
  g_return_if_fail(child != NULL);
  g_return_if_fail(GTK_IS_WIDGET (child));

  GtkScrollFrame *sf = GTK_SCROLL_FRAME(container);
  GtkBin *bin = GTK_BIN(container);
  g_return_if_fail(bin->child == NULL);

  bin->child = child;
  gtk_widget_set_parent(child, GTK_WIDGET(bin));

  if (!gtk_widget_set_scroll_adjustments(child, gtk_scroll_frame_get_hadjustment(sf),
                                         gtk_scroll_frame_get_vadjustment(sf)))
    g_warning(
        "gtk_scroll_frame_add(): cannot add non scrollable widget "
        "use gtk_scroll_frame_add_with_viewport() instead");

  GtkWidget *widget = GTK_WIDGET(container);
  if (GTK_WIDGET_REALIZED(widget)) gtk_widget_realize(child);

  if (GTK_WIDGET_VISIBLE(widget) && GTK_WIDGET_VISIBLE(child)) {
    if (GTK_WIDGET_MAPPED(widget) && !GTK_WIDGET_MAPPED(child)) gtk_widget_map(child);
    gtk_widget_queue_resize(child);
  }
}

void gtk_scroll_frame_remove(GtkContainer *container, GtkWidget *child) {
  g_return_if_fail(container != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (container));
  g_return_if_fail(child != NULL);
  g_return_if_fail(GTK_BIN (container)->child == child);

  gtk_widget_set_scroll_adjustments(child, nullptr, nullptr);

  GTK_CONTAINER_CLASS(parent_class)->remove(container, child);
}

void gtk_scroll_frame_forall(GtkContainer *container, gboolean include_internals,
                             GtkCallback callback, gpointer callback_data) {
  g_return_if_fail(container != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (container));
  g_return_if_fail(callback != NULL);

  GTK_CONTAINER_CLASS(parent_class)->forall(container, include_internals, callback, callback_data);

  if (include_internals) {
    GtkScrollFramePrivate *priv = GTK_SCROLL_FRAME(container)->priv;
    if (priv->vscrollbar) callback(priv->vscrollbar, callback_data);
    if (priv->hscrollbar) callback(priv->hscrollbar, callback_data);
  }
}

void gtk_scroll_frame_class_init(gpointer klass) {
  GObjectClass *gobject_class = G_OBJECT_CLASS(klass);
  GtkObjectClass *object_class = GTK_OBJECT_CLASS(klass);
  GtkWidgetClass *widget_class = GTK_WIDGET_CLASS(klass);
  GtkContainerClass *container_class = GTK_CONTAINER_CLASS(klass);

  parent_class = static_cast<GtkBinClass *>(g_type_class_peek_parent(klass));

  // The GtkArg bridge routes these through set_arg/get_arg and refuses to
  // replace the property handlers inherited from GtkContainer, which keeps
  // handling its own properties through its own class.
  gobject_class->set_property = nullptr;
  gobject_class->get_property = nullptr;

  gtk_object_add_arg_type("GtkScrollFrame::hadjustment", GTK_TYPE_ADJUSTMENT,
                          GTK_ARG_READWRITE | GTK_ARG_CONSTRUCT, ARG_HADJUSTMENT);
  gtk_object_add_arg_type("GtkScrollFrame::vadjustment", GTK_TYPE_ADJUSTMENT,
                          GTK_ARG_READWRITE | GTK_ARG_CONSTRUCT, ARG_VADJUSTMENT);
  gtk_object_add_arg_type("GtkScrollFrame::hscrollbar_policy", GTK_TYPE_POLICY_TYPE,
                          GTK_ARG_READWRITE, ARG_HSCROLLBAR_POLICY);
  gtk_object_add_arg_type("GtkScrollFrame::vscrollbar_policy", GTK_TYPE_POLICY_TYPE,
                          GTK_ARG_READWRITE, ARG_VSCROLLBAR_POLICY);
  gtk_object_add_arg_type("GtkScrollFrame::frame_placement", GTK_TYPE_CORNER_TYPE,
                          GTK_ARG_READWRITE, ARG_FRAME_PLACEMENT);
  gtk_object_add_arg_type("GtkScrollFrame::shadow_type", GTK_TYPE_SHADOW_TYPE, GTK_ARG_READWRITE,
                          ARG_SHADOW_TYPE);
  gtk_object_add_arg_type("GtkScrollFrame::scrollbar_spacing", G_TYPE_UINT, GTK_ARG_READWRITE,
                          ARG_SCROLLBAR_SPACING);

  object_class->set_arg = gtk_scroll_frame_set_arg;
  object_class->get_arg = gtk_scroll_frame_get_arg;
  object_class->destroy = gtk_scroll_frame_destroy;
  gobject_class->finalize = gtk_scroll_frame_finalize;

  widget_class->map = gtk_scroll_frame_map;
  widget_class->unmap = gtk_scroll_frame_unmap;
  widget_class->size_request = gtk_scroll_frame_size_request;
  widget_class->size_allocate = gtk_scroll_frame_size_allocate;
  widget_class->button_press_event = gtk_scroll_frame_button_press;
  widget_class->scroll_event = gtk_scroll_frame_scroll;
  widget_class->expose_event = gtk_scroll_frame_expose;

  container_class->add = gtk_scroll_frame_add;
  container_class->remove = gtk_scroll_frame_remove;
  container_class->forall = gtk_scroll_frame_forall;
}

void gtk_scroll_frame_init(GTypeInstance *instance, gpointer /*klass*/) {
  GtkScrollFrame *sf = GTK_SCROLL_FRAME(instance);

  sf->priv = g_new0(GtkScrollFramePrivate, 1);
  GtkScrollFramePrivate *priv = sf->priv;

  GTK_WIDGET_SET_FLAGS(GTK_WIDGET(sf), GTK_NO_WINDOW);
  gtk_container_set_resize_mode(GTK_CONTAINER(sf), GTK_RESIZE_QUEUE);

  priv->scrollbar_spacing = kDefaultScrollbarSpacing;
  priv->hscrollbar_policy = GTK_POLICY_ALWAYS;
  priv->vscrollbar_policy = GTK_POLICY_ALWAYS;
  priv->frame_placement = GTK_CORNER_TOP_LEFT;
  priv->shadow_type = GTK_SHADOW_NONE;
}

}  // namespace

GtkType gtk_scroll_frame_get_type() {
  static GtkType type = 0;
  if (!type) {
    static const GtkTypeInfo info = {
        const_cast<gchar *>("GtkScrollFrame"),
        sizeof(GtkScrollFrame),
        sizeof(GtkScrollFrameClass),
        gtk_scroll_frame_class_init,
        gtk_scroll_frame_init,
        nullptr,
        nullptr,
        nullptr,
    };
    type = gtk_type_unique(GTK_TYPE_BIN, &info);
  }
  return type;
}

GtkWidget *gtk_scroll_frame_new(GtkAdjustment *hadj, GtkAdjustment *vadj) {
  if (hadj) g_return_val_if_fail(GTK_IS_ADJUSTMENT (hadj), NULL);
  if (vadj) g_return_val_if_fail(GTK_IS_ADJUSTMENT (vadj), NULL);

  return gtk_widget_new(GTK_TYPE_SCROLL_FRAME, "hadjustment", hadj, "vadjustment", vadj, NULL);
}

void gtk_scroll_frame_set_hadjustment(GtkScrollFrame *sf, GtkAdjustment *adj) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));
  if (adj) g_return_if_fail(GTK_IS_ADJUSTMENT (adj));

  set_adjustment(sf, adj, GTK_ORIENTATION_HORIZONTAL);
}

void gtk_scroll_frame_set_vadjustment(GtkScrollFrame *sf, GtkAdjustment *adj) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));
  if (adj) g_return_if_fail(GTK_IS_ADJUSTMENT (adj));

  set_adjustment(sf, adj, GTK_ORIENTATION_VERTICAL);
}

GtkAdjustment *gtk_scroll_frame_get_hadjustment(GtkScrollFrame *sf) {
  g_return_val_if_fail(sf != NULL, NULL);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (sf), NULL);

  return adjustment_of(sf->priv->hscrollbar);
}

GtkAdjustment *gtk_scroll_frame_get_vadjustment(GtkScrollFrame *sf) {
  g_return_val_if_fail(sf != NULL, NULL);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (sf), NULL);

  return adjustment_of(sf->priv->vscrollbar);
}

void gtk_scroll_frame_set_policy(GtkScrollFrame *sf, GtkPolicyType hsb_policy,
                                 GtkPolicyType vsb_policy) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));

  GtkScrollFramePrivate *priv = sf->priv;
  if (priv->hscrollbar_policy == hsb_policy && priv->vscrollbar_policy == vsb_policy) return;

  priv->hscrollbar_policy = hsb_policy;
  priv->vscrollbar_policy = vsb_policy;
  gtk_widget_queue_resize(GTK_WIDGET(sf));
}

void gtk_scroll_frame_get_policy(GtkScrollFrame *sf, GtkPolicyType *hsb_policy,
                                 GtkPolicyType *vsb_policy) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));

  if (hsb_policy) *hsb_policy = static_cast<GtkPolicyType>(sf->priv->hscrollbar_policy);
  if (vsb_policy) *vsb_policy = static_cast<GtkPolicyType>(sf->priv->vscrollbar_policy);
}

void gtk_scroll_frame_set_placement(GtkScrollFrame *sf, GtkCornerType frame_placement) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));

  GtkScrollFramePrivate *priv = sf->priv;
  if (priv->frame_placement == frame_placement) return;

  priv->frame_placement = frame_placement;
  gtk_widget_queue_resize(GTK_WIDGET(sf));
}

void gtk_scroll_frame_set_shadow_type(GtkScrollFrame *sf, GtkShadowType shadow_type) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));
  g_return_if_fail(shadow_type >= GTK_SHADOW_NONE && shadow_type <= GTK_SHADOW_ETCHED_OUT);

  GtkScrollFramePrivate *priv = sf->priv;
  if (priv->shadow_type == shadow_type) return;

  priv->shadow_type = shadow_type;
  gtk_widget_queue_resize(GTK_WIDGET(sf));
}

GtkShadowType gtk_scroll_frame_get_shadow_type(GtkScrollFrame *sf) {
  g_return_val_if_fail(sf != NULL, GTK_SHADOW_NONE);
  g_return_val_if_fail(GTK_IS_SCROLL_FRAME (sf), GTK_SHADOW_NONE);

  return static_cast<GtkShadowType>(sf->priv->shadow_type);
}

void gtk_scroll_frame_set_scrollbar_spacing(GtkScrollFrame *sf, guint spacing) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));

  GtkScrollFramePrivate *priv = sf->priv;
  if (priv->scrollbar_spacing == spacing) return;

  priv->scrollbar_spacing = spacing;
  gtk_widget_queue_resize(GTK_WIDGET(sf));
}

void gtk_scroll_frame_add_with_viewport(GtkScrollFrame *sf, GtkWidget *child) {
  g_return_if_fail(sf != NULL);
  g_return_if_fail(GTK_IS_SCROLL_FRAME (sf));
  g_return_if_fail(child != NULL);
  g_return_if_fail(GTK_IS_WIDGET (child));
  g_return_if_fail(child->parent == NULL);

  GtkBin *bin = GTK_BIN(sf);
  GtkWidget *viewport;
  if (bin->child != NULL) {
    g_return_if_fail(GTK_IS_VIEWPORT (bin->child));
    g_return_if_fail(GTK_BIN (bin->child)->child == NULL);
    viewport = bin->child;
  } else {
    viewport = gtk_viewport_new(gtk_scroll_frame_get_hadjustment(sf),
                                gtk_scroll_frame_get_vadjustment(sf));
    gtk_container_add(GTK_CONTAINER(sf), viewport);
  }

  gtk_widget_show(viewport);
  gtk_container_add(GTK_CONTAINER(viewport), child);
}
