#!/usr/bin/env python3
# Writes the interface description: python3 shell/ui/generate_glade.py shell/ui/vorpix.glade
# Edit this script, not the generated file, and commit both.
import itertools
ids = itertools.count(1)
def nid(p): return "%s%d" % (p, next(ids))
def esc(s): return s.replace("&","&amp;").replace("<","&lt;").replace(">","&gt;")
out=[]
def w(s, ind): out.append("  "*ind + s)

def prop(name, val, ind, tr=False):
    t = ' translatable="yes"' if tr else ''
    w('<property name="%s"%s>%s</property>' % (name, t, esc(str(val))), ind)

def signal(name, handler, ind):
    w('<signal name="%s" handler="%s"/>' % (name, handler), ind)

def packing(ind, expand=False, fill=True, padding=0):
    w('<packing>', ind)
    prop("padding", padding, ind+1)
    prop("expand", "True" if expand else "False", ind+1)
    prop("fill", "True" if fill else "False", ind+1)
    w('</packing>', ind)

# accel: one (key, modifiers) pair or a list of them.
# check: a GtkCheckMenuItem whose handler takes "toggled".
def menuitem(id_, label, handler, ind, accel=None, hidden=False, submenu=None, tooltip=None,
             sensitive=True, check=False):
    w('<child>', ind)
    w('<widget class="%s" id="%s">' % ("GtkCheckMenuItem" if check else "GtkMenuItem", id_), ind+1)
    if hidden:
        prop("visible", "False", ind+2); prop("no_show_all", "True", ind+2)
    else:
        prop("visible", "True", ind+2)
    if not sensitive: prop("sensitive", "False", ind+2)
    prop("label", label, ind+2, True)
    prop("use_underline", "True", ind+2)
    if tooltip: prop("tooltip_text", tooltip, ind+2, True)
    if handler: signal("toggled" if check else "activate", handler, ind+2)
    for key, mods in ([accel] if isinstance(accel, tuple) else accel or []):
        w('<accelerator key="%s" modifiers="%s" signal="activate"/>' % (key, mods), ind+2)
    if submenu:
        w('<child>', ind+2)
        w('<widget class="GtkMenu" id="%s">' % nid(id_ + "_menu_"), ind+3)
        for item in submenu: item(ind+4)
        w('</widget>', ind+3)
        w('</child>', ind+2)
    w('</widget>', ind+1)
    w('</child>', ind)

def sep(ind):
    w('<child>', ind); w('<widget class="GtkSeparatorMenuItem" id="%s">' % nid("separator"), ind+1)
    prop("visible","True",ind+2); w('</widget>', ind+1); w('</child>', ind)

C="GDK_CONTROL_MASK"; SC="GDK_SHIFT_MASK | GDK_CONTROL_MASK"
def MI(*a, **k): return lambda ind: menuitem(*a, ind=ind, **k)
def SEP(): return lambda ind: sep(ind)

menus = [
 ("file_menu_item", "_File", [
   MI("new_file_menu", "_New...", "on_new_file_menu_activate", accel=("N", C)),
   MI("open_menu", "_Open...", "on_open_menu_activate", accel=("O", C)),
   # The program gives it the menu of recently used pictures.
   MI("open_recent_menu", "Open _Recent", None),
   MI("save_menu", "_Save", "on_save_menu_activate", accel=("S", C)),
   MI("save_as_menu", "Save _As...", "on_save_as_menu_activate", accel=("S", SC)),
   MI("revert_menu", "Re_vert", "on_revert_menu_activate", sensitive=False,
      tooltip="Reload the picture from its file, giving up the changes since it was saved"),
   SEP(),
   MI("print_menu", "_Print...", "on_print_menu_activate", accel=("P", C)),
   MI("print_preview", "Print Pre_view", "on_print_preview_activate", hidden=True),
   MI("print_setup", "Print Set_up...", "on_print_setup_activate", hidden=True),
   SEP(),
   MI("new_window_menu", "New _Window", "on_create_new_window"),
   MI("close_window_menu", "_Close", "on_close_window_activate", accel=("W", C)),
   MI("quit_menu", "_Quit", "on_quit_menu_activate", accel=("Q", C)),
 ]),
 ("edit_menu_item", "_Edit", [
   MI("undo_menu", "_Undo", "on_undo_menu_activate", accel=("Z", C), sensitive=False),
   MI("redo_menu", "_Redo", "on_redo_menu_activate", accel=[("Z", SC), ("Y", C)],
      sensitive=False),
   SEP(),
   MI("cut_menu", "Cu_t", "on_cut_menu_activate", accel=("X", C)),
   MI("copy_menu", "_Copy", "on_copy_menu_activate", accel=("C", C)),
   MI("paste_menu", "_Paste", "on_paste_menu_activate", accel=("V", C)),
   MI("clear_menu", "C_lear", "on_clear_menu_activate"),
   SEP(),
   MI("select_all", "Select _All", "on_select_all_activate", accel=("A", C)),
   MI("reset_menu", "_Reset", "on_reset_menu_activate", hidden=True),
 ]),
 ("view_menu_item", "_View", [
   MI("zoom_in_menu", "Zoom _In", "on_zoom_in_menu_activate",
      accel=[("plus", C), ("equal", C), ("KP_Add", C)]),
   MI("zoom_out_menu", "Zoom _Out", "on_zoom_out_menu_activate",
      accel=[("minus", C), ("KP_Subtract", C)]),
   MI("normal_size_menu", "_Normal Size", "on_normal_size_menu_activate", accel=("0", C)),
   MI("best_fit_menu", "Best _Fit", "on_best_fit_menu_activate",
      tooltip="The largest zoom at which the whole picture fits the window"),
   SEP(),
   MI("show_grid_menu", "Show _Grid", "on_show_grid_menu_toggled", accel=("G", C), check=True,
      tooltip="Lines between the picture's pixels, from 400 percent up"),
 ]),
 ("image_menu_item", "_Image", [
   MI("flip_x_axis_menu", "Flip _Horizontally", "on_flip_x_axis_menu_activate"),
   MI("flip_y_axis_menu", "Flip _Vertically", "on_flip_y_axis_menu_activate"),
   SEP(),
   MI("rotate_p90_menu", "Rotate 90\u00b0 _Clockwise", "on_rotate_menu_activate"),
   MI("rotate_n90_menu", "Rotate 90\u00b0 C_ounter-clockwise", "on_rotate_menu_activate"),
   MI("rotate_n180_menu", "Rotate _180\u00b0", "on_rotate_menu_activate"),
   MI("rotate_n45_menu", "Rotate 45\u00b0 Clock_wise", "on_rotate_menu_activate"),
   MI("rotate_p45_menu", "Rotate 45\u00b0 Cou_nter-clockwise", "on_rotate_menu_activate"),
   MI("rotate_by_menu", "_Rotate...", "on_rotate_by_menu_activate"),
   SEP(),
   MI("crop_menu", "Crop to _Selection", "on_crop_menu_activate", accel=("X", SC),
      sensitive=False),
   MI("canvas_size_menu", "Canvas Si_ze...", "on_canvas_size_menu_activate"),
   MI("scale_image_menu", "Sc_ale Image...", "on_scale_image_menu_activate"),
   MI("invert_menu", "_Invert", "on_invert_menu_activate", hidden=True),
   SEP(),
   MI("get_desktop", "_Get Desktop", "on_get_desktop_activate",
      tooltip="Replace the picture by a capture of the whole desktop"),
   MI("change_background_menu", "Set as Desktop _Background", "on_change_background_menu_activate",
      tooltip="Tile the picture on the desktop background"),
   MI("set_as_background_titled", "Set as Background (_Tiled)", "on_set_as_background_titled_activate", hidden=True),
   MI("set_as_background_centered", "Set as Background (C_entered)", "on_set_as_background_centered_activate", hidden=True),
 ]),
 ("effects_menu_item", "Effe_cts", [
   MI("sharpen", "_Sharpen", "on_image_effect_activate"),
   MI("smooth", "S_mooth", "on_image_effect_activate"),
   MI("directional_smooth", "_Directional Smooth", "on_image_effect_activate"),
   MI("despeckle", "Des_peckle", "on_image_effect_activate"),
   MI("edge_detect", "_Edge Detect", "on_image_effect_activate"),
   MI("emboss", "Em_boss", "on_image_effect_activate"),
   MI("oil_paint", "_Oil Paint", "on_image_effect_activate"),
   SEP(),
   MI("add_noise", "Add _Noise", "on_image_effect_activate"),
   MI("spread", "Sp_read", "on_image_effect_activate"),
   MI("pixelize", "Pi_xelize", "on_image_effect_activate"),
   MI("blend", "B_lend", "on_image_effect_activate"),
   SEP(),
   MI("solarize", "Solari_ze", "on_image_effect_activate"),
   MI("normalize_contrast", "Normalize _Contrast", "on_image_effect_activate"),
   MI("quantize_color", "_Quantize Colors", "on_image_effect_activate"),
   MI("convert_to_greyscale", "Convert to _Greyscale", "on_image_effect_activate"),
 ]),
 ("windows_menu_item", "_Windows", None),
 ("help_menu_item", "_Help", [
   MI("about_menu", "_About", "on_about_menu_activate"),
 ]),
]

# The tool buttons' tooltips (what each does and its key) come from the tool
# palette's table when the buttons are realized.
tools = [  # (row, col, button_name)
 (0,0,"rectselect_button"), (0,1,"polselect_button"),
 (1,0,"lasso_button"), (1,1,"text_button"),
 (2,0,"pen_button"), (2,1,"brush_button"),
 (3,0,"erase_button"), (3,1,"fill_button"),
 (4,0,"line_button"), (4,1,"multiline_button"),
 (5,0,"rectangle_button"), (5,1,"oval_button"),
 (6,0,"arc_button"), (6,1,"closed_freehand_button"),
 (7,0,"curve_button"),
]

def table_child(ind, l, r, t, b, body, xopt="", yopt=""):
    w('<child>', ind); body(ind+1)
    w('<packing>', ind)
    prop("left_attach", l, ind+1); prop("right_attach", r, ind+1)
    prop("top_attach", t, ind+1); prop("bottom_attach", b, ind+1)
    prop("x_options", xopt, ind+1); prop("y_options", yopt, ind+1)
    w('</packing>', ind); w('</child>', ind)

w('<?xml version="1.0" standalone="no"?> <!--*- mode: xml -*-->', 0)
w('<!DOCTYPE glade-interface SYSTEM "http://glade.gnome.org/glade-2.0.dtd">', 0)
w('<glade-interface>', 0)
# ---------------- main window
w('<widget class="GtkWindow" id="main_window">', 1)
prop("visible", "False", 2)
prop("title", "vorpix", 2)
prop("type", "GTK_WINDOW_TOPLEVEL", 2)
prop("window_position", "GTK_WIN_POS_NONE", 2)
for s,h in [("realize","on_mainwindow_realize"),("delete_event","on_mainwindow_delete_event"),
            ("destroy","on_mainwindow_destroy"),("focus_in_event","on_mainwindow_focus_in_event"),
            ("focus_out_event","on_mainwindow_focus_out_event"),("set_focus_child","on_mainwindow_set_focus_child"),
            ("set_focus","on_mainwindow_set_focus"),("key_press_event","on_mainwindow_key_press_event")]:
    signal(s, h, 2)
w('<child>', 2); w('<widget class="GtkVBox" id="main_vbox">', 3); prop("visible","True",4); prop("homogeneous","False",4); prop("spacing",0,4)
# menubar
w('<child>', 4); w('<widget class="GtkMenuBar" id="menubar">', 5); prop("visible","True",6)
for mid, label, items in menus:
    if items is None:
        menuitem(mid, label, "on_windows_menu_item_activate", 6, hidden=True)
    else:
        menuitem(mid, label, None, 6, submenu=items)
w('</widget>', 5); packing(4); w('</child>', 4)
# toolbar
w('<child>', 4); w('<widget class="GtkToolbar" id="toolbar">', 5); prop("visible","True",6)
prop("orientation","GTK_ORIENTATION_HORIZONTAL",6); prop("toolbar_style","GTK_TOOLBAR_ICONS",6)
prop("tooltips","True",6); prop("show_arrow","True",6)
for item in [("new_button","gtk-new","on_new_button_clicked","New picture"),
                                 ("open_button","gtk-open","on_open_button_clicked","Open a picture"),
                                 ("save_button","gtk-save","on_save_button_clicked","Save the picture"),
                                 ("save_as_button","gtk-save-as","on_save_as_button_clicked","Save the picture under another name"),
                                 ("print_button","gtk-print","on_print_button_clicked","Print the picture"),
                                 None,
                                 # Sensitive only while there is something to undo or redo.
                                 ("undo_button","gtk-undo","on_undo_button_clicked","Undo the last change"),
                                 ("redo_button","gtk-redo","on_redo_button_clicked","Redo the change last undone")]:
    if item is None:
        w('<child>', 6); w('<widget class="GtkSeparatorToolItem" id="%s">' % nid("toolbar_separator"), 7)
        prop("visible","True",8); w('</widget>', 7)
        w('<packing>', 6); prop("expand","False",7); prop("homogeneous","False",7); w('</packing>', 6)
        w('</child>', 6)
        continue
    bid, stock, handler, tip = item
    w('<child>', 6); w('<widget class="GtkToolButton" id="%s">' % bid, 7)
    prop("visible","True",8)
    if bid in ("undo_button", "redo_button"): prop("sensitive","False",8)
    prop("stock_id",stock,8); prop("tooltip_text",tip,8,True)
    signal("clicked", handler, 8)
    w('</widget>', 7)
    w('<packing>', 6); prop("expand","False",7); prop("homogeneous","True",7); w('</packing>', 6)
    w('</child>', 6)
w('</widget>', 5); packing(4); w('</child>', 4)
# body
w('<child>', 4); w('<widget class="GtkHBox" id="body_hbox">', 5); prop("visible","True",6); prop("spacing",4,6); prop("border_width",2,6)
#  left column
w('<child>', 6); w('<widget class="GtkVBox" id="left_vbox">', 7); prop("visible","True",8); prop("spacing",4,8)
w('<child>', 8); w('<widget class="GtkTable" id="tool_palette_table">', 9)
prop("visible","True",10); prop("n_rows",8,10); prop("n_columns",2,10); prop("homogeneous","True",10)
signal("realize","on_tool_palette_realize",10)
def toolbtn(bid):
    def body(ind):
        w('<widget class="GtkToggleButton" id="%s">' % bid, ind)
        prop("visible","True",ind+1); prop("can_focus","False",ind+1)
        prop("width_request",36,ind+1); prop("height_request",36,ind+1)
        prop("relief","GTK_RELIEF_NORMAL",ind+1)
        signal("realize","on_tool_button_realize",ind+1); signal("clicked","on_tool_button_clicked",ind+1)
        w('</widget>', ind)
    return body
for r,c,bid in tools:
    table_child(10, c, c+1, r, r+1, toolbtn(bid), "GTK_FILL", "GTK_FILL")
def filled(ind):
    w('<widget class="GtkToggleButton" id="filled_button">', ind)
    prop("visible","True",ind+1); prop("can_focus","False",ind+1)
    prop("width_request",36,ind+1); prop("height_request",36,ind+1)
    prop("tooltip_text","Fill shapes",ind+1,True)
    signal("realize","on_filled_button_realize",ind+1); signal("toggled","on_filled_button_toggled",ind+1)
    w('</widget>', ind)
table_child(10, 1, 2, 7, 8, filled, "GTK_FILL", "GTK_FILL")
w('</widget>', 9); packing(8); w('</child>', 8)
w('</widget>', 7); packing(6); w('</child>', 6)
#  scroll frame
w('<child>', 6); w('<widget class="Custom" id="scroll_frame">', 7); prop("visible","True",8)
prop("creation_function","create_drawing_area_in_scroll_frame",8)
prop("int1",0,8); prop("int2",0,8); prop("last_modification_time","Wed, 09 Dec 2026 08:00:00 GMT",8)
w('</widget>', 7); packing(6, expand=True); w('</child>', 6)
w('</widget>', 5); packing(4, expand=True); w('</child>', 4)
# colour row
w('<child>', 4); w('<widget class="GtkHBox" id="color_hbox">', 5); prop("visible","True",6); prop("spacing",6,6); prop("border_width",2,6)
w('<child>', 6); w('<widget class="GtkVBox" id="color_picker_vbox">', 7); prop("visible","True",8)
for pid, tip, h in [("foreground_color_picker","Foreground colour","foreground"),("background_color_picker","Background colour","background")]:
    w('<child>', 8); w('<widget class="GtkColorButton" id="%s">' % pid, 9); prop("visible","True",10)
    prop("use_alpha","False",10); prop("title", tip, 10, True); prop("tooltip_text",tip,10,True)
    signal("realize","on_%s_color_picker_realize" % h,10); signal("color_set","on_%s_color_picker_color_set" % h,10)
    w('</widget>', 9); packing(8); w('</child>', 8)
w('</widget>', 7); packing(6); w('</child>', 6)
w('<child>', 6); w('<widget class="GtkTable" id="color_palette_table">', 7); prop("visible","True",8)
prop("n_rows",2,8); prop("n_columns",14,8); prop("homogeneous","True",8); prop("row_spacing",2,8); prop("column_spacing",2,8)
def swatch(i):
    def body(ind):
        w('<widget class="GtkDrawingArea" id="color_palette_entry%d">' % i, ind)
        prop("visible","True",ind+1); prop("width_request",20,ind+1); prop("height_request",20,ind+1)
        prop("events","GDK_EXPOSURE_MASK | GDK_BUTTON_PRESS_MASK",ind+1)
        prop("tooltip_text","Left click: foreground, right click: background, double click: edit",ind+1,True)
        signal("realize","on_color_palette_entry_realize",ind+1)
        signal("expose_event","on_color_palette_entry_expose_event",ind+1)
        signal("button_press_event","on_color_palette_entry_button_press_event",ind+1)
        w('</widget>', ind)
    return body
for i in range(28):
    r, c = divmod(i, 14)
    table_child(8, c, c+1, r, r+1, swatch(i), "GTK_FILL", "GTK_FILL")
w('</widget>', 7); w('<packing>', 6); prop("padding",0,7); prop("expand","False",7); prop("fill","False",7); w('</packing>', 6); w('</child>', 6)
# line width and font, as a small table
w('<child>', 6); w('<widget class="GtkTable" id="options_table">', 7); prop("visible","True",8)
prop("n_rows",2,8); prop("n_columns",2,8); prop("row_spacing",2,8); prop("column_spacing",4,8)
def lw_label(ind):
    w('<widget class="GtkLabel" id="line_width_label">', ind); prop("visible","True",ind+1)
    prop("label","_Line width:",ind+1,True); prop("use_underline","True",ind+1); prop("xalign","0",ind+1)
    prop("mnemonic_widget","line_width_combo_entry",ind+1)
    signal("realize","on_small_label_realize",ind+1)
    w('</widget>', ind)
def lw_combo(ind):
    w('<widget class="GtkComboBoxEntry" id="line_width_combo">', ind); prop("visible","True",ind+1)
    prop("items","1\n2\n3\n5\n8\n12\n20",ind+1)
    prop("tooltip_text","Width of lines in pixels",ind+1,True)
    signal("add","on_line_width_combo_add",ind+1); signal("check_resize","on_line_width_combo_check_resize",ind+1)
    signal("changed","on_line_width_combo_changed",ind+1)
    w('<child internal-child="entry">', ind+1); w('<widget class="GtkEntry" id="line_width_combo_entry">', ind+2)
    prop("visible","True",ind+3); prop("text","1",ind+3); prop("width_chars",3,ind+3)
    signal("changed","on_line_width_combo_combo_entry_changed",ind+3)
    signal("activate","on_line_width_combo_entry_activate",ind+3)
    w('</widget>', ind+2); w('</child>', ind+1)
    w('</widget>', ind)
def font_label(ind):
    w('<widget class="GtkLabel" id="font_label">', ind); prop("visible","True",ind+1)
    prop("label","Font:",ind+1,True); prop("xalign","0",ind+1)
    w('</widget>', ind)
def font_picker(ind):
    w('<widget class="GtkFontButton" id="fontpicker">', ind); prop("visible","True",ind+1)
    prop("show_style","False",ind+1); prop("show_size","True",ind+1); prop("use_font","False",ind+1); prop("use_size","False",ind+1)
    prop("tooltip_text","Font of the text tool",ind+1,True)
    for s_,h in [("font_set","on_fontpicker_font_set"),("realize","on_fontpicker_realize"),("map","on_fontpicker_map"),("map_event","on_fontpicker_map_event")]:
        signal(s_,h,ind+1)
    w('</widget>', ind)
table_child(8,0,1,0,1,lw_label,"GTK_FILL","")
table_child(8,1,2,0,1,lw_combo,"GTK_FILL","")
table_child(8,0,1,1,2,font_label,"GTK_FILL","")
table_child(8,1,2,1,2,font_picker,"GTK_FILL","")
w('</widget>', 7); packing(6); w('</child>', 6)
# hidden text-style buttons and the about pixmap
w('<child>', 6); w('<widget class="GtkHBox" id="font_style_hbox">', 7); prop("visible","False",8); prop("no_show_all","True",8)
for bid, cls, label, h in [("font_button","GtkButton","Font","on_font_button_clicked"),("bold_button","GtkToggleButton","B","on_bold_button_clicked"),
                           ("italic_button","GtkToggleButton","I","on_italic_button_clicked"),("underline_button","GtkToggleButton","U","on_underline_button_clicked")]:
    w('<child>', 8); w('<widget class="%s" id="%s">' % (cls, bid), 9); prop("visible","True",10); prop("label",label,10)
    signal("clicked", h, 10); w('</widget>', 9); packing(10); w('</child>', 8)
w('<child>', 8); w('<widget class="GtkImage" id="about_pixmap">', 9); prop("visible","True",10)
signal("realize","on_about_dialog_pixmap_realize",10); w('</widget>', 9); packing(10); w('</child>', 8)
w('</widget>', 7); packing(6); w('</child>', 6)
w('</widget>', 5); packing(4); w('</child>', 4)
# status bar
w('<child>', 4); w('<widget class="Custom" id="status_bar">', 5); prop("visible","True",6)
prop("creation_function","create_status_bar",6)
prop("int1",0,6); prop("int2",0,6); prop("last_modification_time","Wed, 09 Dec 2026 08:00:00 GMT",6)
w('</widget>', 5); packing(4); w('</child>', 4)
w('</widget>', 3); w('</child>', 2)
w('</widget>', 1)
# ---------------- new canvas window
w('<widget class="GtkWindow" id="new_canvas_window">', 1)
prop("visible","False",2); prop("title","New Canvas",2,True); prop("resizable","False",2)
prop("window_position","GTK_WIN_POS_MOUSE",2)
signal("destroy","on_new_canvas_window_destroy",2)
w('<child>', 2); w('<widget class="GtkVBox" id="new_canvas_vbox">', 3); prop("visible","True",4); prop("border_width",8,4); prop("spacing",8,4)
w('<child>', 4); w('<widget class="GtkTable" id="new_canvas_table">', 5); prop("visible","True",6)
prop("n_rows",2,6); prop("n_columns",2,6); prop("row_spacing",4,6); prop("column_spacing",6,6)
def lab(text, lid):
    def body(ind):
        w('<widget class="GtkLabel" id="%s">' % lid, ind); prop("visible","True",ind+1)
        prop("label",text,ind+1,True); prop("use_underline","True",ind+1); prop("xalign","0",ind+1)
        prop("mnemonic_widget", "new_canvas_width_text_entry" if "W" in text else "new_canvas_height_text_entry", ind+1)
        w('</widget>', ind)
    return body
def ent(eid):
    def body(ind):
        w('<widget class="GtkEntry" id="%s">' % eid, ind); prop("visible","True",ind+1); prop("can_focus","True",ind+1)
        prop("width_chars",6,ind+1); prop("activates_default","True",ind+1); prop("text","",ind+1)
        w('</widget>', ind)
    return body
table_child(6,0,1,0,1,lab("_Width (pixels):","new_canvas_width_label"),"GTK_FILL","")
table_child(6,1,2,0,1,ent("new_canvas_width_text_entry"),"GTK_EXPAND | GTK_FILL","")
table_child(6,0,1,1,2,lab("_Height (pixels):","new_canvas_height_label"),"GTK_FILL","")
table_child(6,1,2,1,2,ent("new_canvas_height_text_entry"),"GTK_EXPAND | GTK_FILL","")
w('</widget>', 5); packing(4); w('</child>', 4)
w('<child>', 4); w('<widget class="GtkHButtonBox" id="new_canvas_buttons">', 5); prop("visible","True",6)
prop("layout_style","GTK_BUTTONBOX_END",6); prop("spacing",6,6)
for bid, stock, h, default in [("new_canvas_cancel_button","gtk-cancel","on_new_canvas_cancel_button_clicked",False),
                               ("new_canvas_ok_button","gtk-ok","on_new_canvas_ok_button_clicked",True)]:
    w('<child>', 6); w('<widget class="GtkButton" id="%s">' % bid, 7); prop("visible","True",8)
    prop("can_default","True",8); 
    if default: prop("has_default","True",8)
    prop("label",stock,8); prop("use_stock","True",8); signal("clicked",h,8)
    w('</widget>', 7); w('</child>', 6)
w('</widget>', 5); packing(4); w('</child>', 4)
w('</widget>', 3); w('</child>', 2)
w('</widget>', 1)
w('</glade-interface>', 0)
import sys
open(sys.argv[1], "w").write("\n".join(out) + "\n")
