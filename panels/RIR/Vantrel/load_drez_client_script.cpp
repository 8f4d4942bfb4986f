// The library's one export.

#include "Vantrel.h"

DREZ_PANEL_SCRIPT(Vantrel)
