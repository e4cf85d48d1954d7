// The palette's button faces, as XPM data: fifteen tool icons of 30 by 30
// pixels and the two 20 by 16 faces of the filled toggle.  Static data, owned
// by nobody; never modified.
#pragma once

extern const char *eraseOp_xpm[];
extern const char *lassoOp_xpm[];
extern const char *fillOp_xpm[];
extern const char *lineOp_xpm[];
extern const char *clineOp_xpm[];
extern const char *boxOp_xpm[];
extern const char *freehandOp_xpm[];
extern const char *pencilOp_xpm[];
extern const char *selpolyOp_xpm[];
extern const char *selrectOp_xpm[];
extern const char *textOp_xpm[];
extern const char *arcOp_xpm[];
extern const char *curveOp_xpm[];
extern const char *ovalOp_xpm[];
extern const char *brushOp_xpm[];
extern const char *filled_xpm[];
extern const char *unfilled_xpm[];
