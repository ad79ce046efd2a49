/* The strings of generated programs (compilers/stringmanager*.lib).

   Temporary strings are built on one growing buffer, the string stack:
   ZD_StringBase is its address and ZD_StringBasePosition the offset in
   bytes where the next piece goes. Generated code keeps offsets, never
   addresses, across appends, because an append may move the buffer. Every
   append writes its text and a terminating zero but advances the position
   only past the text, so the next piece overwrites the terminator and the
   pieces join; a string that must stay whole is closed by advancing the
   position past its terminator.

   Generated code reaches ZD_StringBase and ZD_StringBasePosition
   RIP-relative, so they live in this static library. The routines that
   thread-safe programs call instead of touching the two globals are here
   too; they work on the one string stack of the program.

   Strings are UTF-16 with a terminating zero; a null pointer is "". String
   variables hold blocks of the process heap. */

#include "runtime.h"

__declspec(dllimport) void* __stdcall HeapReAlloc(HANDLE heap, unsigned long flags, void* block,
                                                  unsigned long long size);

#define STRING_BUFFER_SIZE (1024 * 1024)

typedef unsigned short wchar;

char* ZD_StringBase = 0;
long long ZD_StringBasePosition = 0;

static long long string_buffer_size = 0;
static const wchar empty_text[1] = {0};

/* ------------------------------------------------------------------------ */
/* Start and end of a program. */

void SYS_InitString(void)
{
    ZD_StringBase = (char*)HeapAlloc(GetProcessHeap(), 8 /* zero memory */, STRING_BUFFER_SIZE);
    string_buffer_size = ZD_StringBase ? STRING_BUFFER_SIZE : 0;
    ZD_StringBasePosition = 0;
}

void SYS_FreeStrings(void)
{
    if (ZD_StringBase) HeapFree(GetProcessHeap(), 0, ZD_StringBase);
    ZD_StringBase = 0;
    ZD_StringBasePosition = 0;
    string_buffer_size = 0;
}

/* ------------------------------------------------------------------------ */
/* Helpers. */

static long long text_length(const wchar* text)
{
    long long length = 0;
    if (!text) return 0;
    while (text[length]) length++;
    return length;
}

static void copy_units(wchar* to, const wchar* from, long long count)
{
    long long i;
    for (i = 0; i < count; i++) to[i] = from[i];
}

/* Makes room for `bytes` more bytes (and a terminator) at the position. A
   failed growth ends the program rather than writing past the buffer. */
static void reserve_stack_bytes(long long bytes)
{
    long long needed = ZD_StringBasePosition + bytes + 2;
    long long size;
    char* grown;
    if (!ZD_StringBase) SYS_InitString();
    if (needed <= string_buffer_size) return;
    size = string_buffer_size ? string_buffer_size : STRING_BUFFER_SIZE;
    while (size < needed) size *= 2;
    grown = (char*)HeapReAlloc(GetProcessHeap(), 8, ZD_StringBase, (unsigned long long)size);
    if (!grown) ExitProcess(255);
    ZD_StringBase = grown;
    string_buffer_size = size;
}

/* Appends `count` units of `text` at the position and writes the
   terminator behind them. */
static void append_units(const wchar* text, long long count)
{
    wchar* at;
    reserve_stack_bytes(count * 2);
    at = (wchar*)(ZD_StringBase + ZD_StringBasePosition);
    copy_units(at, text, count);
    at[count] = 0;
    ZD_StringBasePosition += count * 2;
}

static wchar* new_string(const wchar* text, long long length)
{
    wchar* block = (wchar*)HeapAlloc(GetProcessHeap(), 0, (unsigned long long)(length + 1) * 2);
    if (!block) ExitProcess(255);
    copy_units(block, text, length);
    block[length] = 0;
    return block;
}

/* Stores a copy of `text` into the string variable at `address`; the old
   value is freed after the copy, so a string may be assigned to itself. */
static void store_string(wchar** address, const wchar* text, long long length)
{
    wchar* old = *address;
    *address = new_string(text ? text : empty_text, length);
    if (old) HeapFree(GetProcessHeap(), 0, old);
}

/* Copies at most `length` units of `text` (up to its terminator) into the
   fixed string and fills the rest with zeros. */
static void store_fixed(wchar* fixed, long long length, const wchar* text)
{
    long long i = 0;
    if (!fixed) return;
    if (text) {
        for (; i < length && text[i]; i++) fixed[i] = text[i];
    }
    for (; i < length; i++) fixed[i] = 0;
}

/* -1, 0 or 1 as the first string sorts before, with or after the second,
   unit by unit as unsigned values. */
static int compare_texts(const wchar* a, const wchar* b)
{
    if (!a) a = empty_text;
    if (!b) b = empty_text;
    while (*a && *a == *b) {
        a++;
        b++;
    }
    if (*a == *b) return 0;
    return *a < *b ? -1 : 1;
}

/* ------------------------------------------------------------------------ */
/* The string stack. */

void SYS_CopyString(const wchar* text)
{
    /* The text may lie on the string stack itself, which may move. */
    if (text && ZD_StringBase && (const char*)text >= ZD_StringBase &&
        (const char*)text < ZD_StringBase + string_buffer_size) {
        long long offset = (const char*)text - ZD_StringBase;
        long long length = text_length(text);
        reserve_stack_bytes(length * 2);
        append_units((const wchar*)(ZD_StringBase + offset), length);
        return;
    }
    append_units(text ? text : empty_text, text_length(text));
}

void SYS_CopyFixedString(const wchar* text, int length)
{
    long long count = 0;
    if (text) {
        while (count < length && text[count]) count++;
    }
    append_units(text ? text : empty_text, count);
}

void SYS_CheckStringBuffer(void)
{
    if (!ZD_StringBase) SYS_InitString();
}

char* SYS_GetStringBase(void)
{
    return ZD_StringBase;
}

char* SYS_GetStringBaseNoResult(void)
{
    return ZD_StringBase;
}

char* SYS_GetStringBasePointer(void)
{
    return ZD_StringBase + ZD_StringBasePosition;
}

long long SYS_GetStringBasePosition(void)
{
    return ZD_StringBasePosition;
}

void SYS_SetStringBasePosition(long long position)
{
    ZD_StringBasePosition = position;
}

/* ------------------------------------------------------------------------ */
/* Saved positions. Code that cannot keep a temporary's start in a register
   or on the machine stack (the C programs) saves the position here before
   the first piece and pops it when the temporary is used up. */

static long long* saved_positions = 0;
static long long saved_count = 0;
static long long saved_capacity = 0;

void SYS_PushStringBasePosition(void)
{
    if (saved_count == saved_capacity) {
        long long capacity = saved_capacity ? saved_capacity * 2 : 256;
        unsigned long long bytes = (unsigned long long)capacity * sizeof(long long);
        long long* grown = saved_positions
                               ? (long long*)HeapReAlloc(GetProcessHeap(), 0, saved_positions, bytes)
                               : (long long*)HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown) ExitProcess(255);
        saved_positions = grown;
        saved_capacity = capacity;
    }
    saved_positions[saved_count++] = ZD_StringBasePosition;
}

/* The last saved position, dropped; the write position stays (the stores
   that take it free the stack themselves). */
long long SYS_PopStringBasePosition(void)
{
    return saved_count > 0 ? saved_positions[--saved_count] : 0;
}

/* The last saved position, dropped and made the write position again. */
long long SYS_PopStringBasePositionUpdate(void)
{
    ZD_StringBasePosition = SYS_PopStringBasePosition();
    return ZD_StringBasePosition;
}

/* The address of the temporary that starts at the last saved position; the
   stack is freed from there on (the text stays readable until the next
   append). */
char* SYS_PopStringBasePositionValue(void)
{
    long long position = SYS_PopStringBasePositionUpdate();
    return ZD_StringBase + position;
}

char* SYS_PopStringBasePositionValueNoUpdate(void)
{
    return ZD_StringBase + SYS_PopStringBasePosition();
}

long long SYS_StringBasePositionNoPop(void)
{
    return saved_count > 0 ? saved_positions[saved_count - 1] : 0;
}

/* Frees everything from `position` on and returns the address of the
   string that starts there (it stays readable until the next append). */
char* SYS_RestoreStringBasePosition(long long position)
{
    ZD_StringBasePosition = position;
    return ZD_StringBase + position;
}

void SYS_IncrementStringBasePosition(void)
{
    reserve_stack_bytes(2);
    ZD_StringBasePosition += 2;
}

/* ------------------------------------------------------------------------ */
/* String variables and fixed strings. */

/* The string that starts at `position` on the string stack goes into the
   variable, and the stack is freed from there on. */
void SYS_AllocateString4(wchar** address, int position)
{
    const wchar* text = (const wchar*)(ZD_StringBase + position);
    store_string(address, text, text_length(text));
    ZD_StringBasePosition = position;
}

void SYS_FastAllocateString4(wchar** address, const wchar* text)
{
    *address = new_string(text ? text : empty_text, text_length(text));
}

/* Returns the bytes the text takes with its terminator (data readers skip
   them). */
long long SYS_FastAllocateStringFree4(wchar** address, const wchar* text)
{
    long long length = text_length(text);
    store_string(address, text, length);
    return (length + 1) * 2;
}

void SYS_FreeString(wchar* text)
{
    if (text) HeapFree(GetProcessHeap(), 0, text);
}

void SYS_FreeStringNoCheck(wchar* text)
{
    if (text) HeapFree(GetProcessHeap(), 0, text);
}

/* The string that starts at `position` goes into the fixed string, and the
   stack is freed from there on. */
void SYS_AssignFixedString(wchar* fixed, int length, int position)
{
    store_fixed(fixed, length, (const wchar*)(ZD_StringBase + position));
    ZD_StringBasePosition = position;
}

void SYS_AssignFixedStringFast(wchar* fixed, int length, const wchar* text)
{
    store_fixed(fixed, length, text);
}

/* ------------------------------------------------------------------------ */
/* Comparisons: the generated code passes the right operand first and the
   left one second; each answers non-zero when its relation holds between
   left and right. */

long long SYS_StringEqual(const wchar* right, const wchar* left)
{
    return compare_texts(left, right) == 0;
}

/* left > right */
long long SYS_StringSuperior(const wchar* right, const wchar* left)
{
    return compare_texts(left, right) > 0;
}

/* left < right */
long long SYS_StringInferior(const wchar* right, const wchar* left)
{
    return compare_texts(left, right) < 0;
}
