/* The map commands' routines (ZD_FreeMap, ZD_NextMapElement, ZD_ResetMap)
   are in SystemBase.lib, beside ZD_NewMap and ZD_GetMapElement: the code
   that NewMap, element access, ForEach and the release of structures and
   scopes generate calls them directly, whether or not the program names a
   map command. This library's object therefore holds no code. */
