// The message catalog: translated compiler messages.
#pragma once

// Loads the catalog of `language_name`; 1 when one was loaded, 0 when none
// was found (the English texts stay).
int load_catalog();
