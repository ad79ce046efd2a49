/* The string commands: numbers as text (Str, StrF, StrD) and Chr. Each
   returns a string: it writes its text on the string stack at the position
   the caller passes last, leaves the write position behind the text (its
   terminator is written but not passed) and returns the text's address.
   The thread-safe forms reach the stack through the string manager's
   routines only. */
#include "runtime.h"
#include "number_text.h"

#include "number_text.c"

typedef unsigned short wchar;

void SYS_CopyString(const wchar* text);
void SYS_SetStringBasePosition(long long position);
char* SYS_GetStringBase(void);

static char* put_text(const wchar* text, long long position)
{
    SYS_SetStringBasePosition(position);
    SYS_CopyString(text);
    return SYS_GetStringBase() + position;
}

/* One UTF-16 unit: codes past 0xFFFF and the surrogate halves make no
   character, and give the empty string like 0. */
static char* character_text(long long code, long long position)
{
    wchar text[2] = {0, 0};
    if (code > 0 && code <= 0xFFFF && (code < 0xD800 || code > 0xDFFF)) text[0] = (wchar)code;
    return put_text(text, position);
}

static char* integer_text(long long value, long long position)
{
    wchar text[NUMBER_TEXT_SIZE];
    zd_integer_text(value, text);
    return put_text(text, position);
}

static char* float_text(float value, long long position)
{
    wchar text[NUMBER_TEXT_SIZE];
    zd_float_text(value, text);
    return put_text(text, position);
}

static char* double_text(double value, long long position)
{
    wchar text[NUMBER_TEXT_SIZE];
    zd_double_text(value, text);
    return put_text(text, position);
}

char* ZD_Chr(long long code, long long position) { return character_text(code, position); }
char* ZD_Chr_THREAD(long long code, long long position) { return character_text(code, position); }
char* ZD_Str(long long value, long long position) { return integer_text(value, position); }
char* ZD_Str_THREAD(long long value, long long position) { return integer_text(value, position); }
char* ZD_StrF(float value, long long position) { return float_text(value, position); }
char* ZD_StrF_THREAD(float value, long long position) { return float_text(value, position); }
char* ZD_StrD(double value, long long position) { return double_text(value, position); }
char* ZD_StrD_THREAD(double value, long long position) { return double_text(value, position); }
