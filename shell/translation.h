// The program's message catalogues: the text domain "vorpix", bound to the
// folder that holds the compiled catalogues (<folder>/<lang>/LC_MESSAGES/vorpix.mo).
#pragma once

constexpr char kTextDomain[] = "vorpix";

// The catalogue folder: $VORPIX_LOCALE_DIR when set and not empty; else the
// "locale" folder beside the running executable, when there is one (a build
// tree); else the catalogues of the prefix the executable is installed under;
// else the configured installed folder.
const char *translation_locale_dir();

// Binds the text domain to translation_locale_dir() with UTF-8 output and
// makes it the default domain of _().  Call after gtk_init (which sets the
// locale from the environment).
void translation_init();
