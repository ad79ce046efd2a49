/* The list commands' routines (ZD_AddElement, ZD_FreeList, ZD_NextElement,
   ZD_ResetList) are in SystemBase.lib, beside ZD_NewList: the code that
   NewList, ForEach and the release of structures and scopes generate calls
   them directly, whether or not the program names a list command. This
   library's object therefore holds no code. */
