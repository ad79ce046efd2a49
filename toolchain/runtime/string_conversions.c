/* Strings for parameters of other kinds (compilers/stringmanager*.lib): a
   copy of a string as ANSI text ("ascii"), UTF-8, UTF-16 or a BSTR, for the
   pseudo-type parameters of imported functions and prototypes. The To*
   forms take the string's address; the BufferTo* forms take the position of
   a temporary on the string stack, which they consume: the write position
   goes back to it. The copies are freed after the call by
   SYS_FreeStringNoCheck (all but BSTR, which SysFreeString frees).

   SYS_SkipString steps a DataSection pointer over a string. */
#include "runtime.h"

typedef unsigned short wchar;

__declspec(dllimport) int __stdcall WideCharToMultiByte(unsigned int code_page, unsigned long flags,
                                                        const wchar* text, int length, char* out, int out_size,
                                                        const char* default_char, int* used_default);
__declspec(dllimport) wchar* __stdcall SysAllocString(const wchar* text);

#define CP_ACP 0
#define CP_UTF8 65001

extern char* ZD_StringBase;
extern long long ZD_StringBasePosition;

static const wchar empty_text[1] = {0};

static void* allocate(unsigned long long bytes)
{
    void* block = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    if (!block) ExitProcess(255);
    return block;
}

static char* to_code_page(const wchar* text, unsigned int code_page)
{
    int size;
    char* out;
    if (!text) text = empty_text;
    size = WideCharToMultiByte(code_page, 0, text, -1, 0, 0, 0, 0);
    out = (char*)allocate(size > 0 ? (unsigned long long)size : 1);
    if (size <= 0 || WideCharToMultiByte(code_page, 0, text, -1, out, size, 0, 0) <= 0) out[0] = 0;
    return out;
}

static wchar* to_unicode(const wchar* text)
{
    unsigned long long length = 0;
    wchar* out;
    if (!text) text = empty_text;
    while (text[length]) length++;
    out = (wchar*)allocate((length + 1) * sizeof(wchar));
    for (unsigned long long i = 0; i <= length; i++) out[i] = text[i];
    return out;
}

static wchar* to_bstr(const wchar* text)
{
    wchar* out = SysAllocString(text ? text : empty_text);
    if (!out) ExitProcess(255);
    return out;
}

/* The temporary at `position` on the string stack; the stack is freed from
   there on (the text stays readable until the next append). */
static const wchar* take_temporary(int position)
{
    ZD_StringBasePosition = position;
    return (const wchar*)(ZD_StringBase + position);
}

void* SYS_ToAscii(const wchar* text) { return to_code_page(text, CP_ACP); }
void* SYS_ToUTF8(const wchar* text) { return to_code_page(text, CP_UTF8); }
void* SYS_ToUnicode(const wchar* text) { return to_unicode(text); }
void* SYS_ToBSTR(const wchar* text) { return to_bstr(text); }
void* SYS_BufferToAscii(int position) { return to_code_page(take_temporary(position), CP_ACP); }
void* SYS_BufferToUTF8(int position) { return to_code_page(take_temporary(position), CP_UTF8); }
void* SYS_BufferToUnicode(int position) { return to_unicode(take_temporary(position)); }
void* SYS_BufferToBSTR(int position) { return to_bstr(take_temporary(position)); }

/* The address after the string's terminator. */
const wchar* SYS_SkipString(const wchar* text)
{
    if (!text) return text;
    while (*text) text++;
    return text + 1;
}
