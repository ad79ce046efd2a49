/* The console commands: text arrives as NUL-terminated UTF-16 and goes to
   standard output as UTF-8, so it reads the same in a console and in a pipe. */
#include "runtime.h"

__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) int __stdcall WideCharToMultiByte(unsigned int code_page, unsigned long flags,
                                                        const unsigned short* text, int length, char* out,
                                                        int out_size, const char* default_char, int* used_default);
__declspec(dllimport) int __stdcall AllocConsole(void);
__declspec(dllimport) int __stdcall FreeConsole(void);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
#define CP_UTF8 65001
#define CHUNK_UNITS 512

static int console_opened = 0;

static HANDLE output_handle(void)
{
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    return handle == (HANDLE)-1 ? 0 : handle;
}

static void write_bytes(HANDLE handle, const char* bytes, int length)
{
    unsigned long written = 0;
    if (length > 0) WriteFile(handle, bytes, (unsigned long)length, &written, 0);
}

/* Converts in chunks that never split a surrogate pair. */
static void write_text(const unsigned short* text)
{
    HANDLE handle = output_handle();
    char bytes[CHUNK_UNITS * 3 + 4];
    if (!handle || !text) return;
    while (*text) {
        int units = 0;
        while (units < CHUNK_UNITS && text[units]) units++;
        if (text[units] && units > 1 && text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00) units--;
        write_bytes(handle, bytes, WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, (int)sizeof bytes, 0, 0));
        text += units;
    }
}

int ZD_OpenConsole(void)
{
    if (!output_handle() && AllocConsole()) console_opened = 1;
    return output_handle() != 0;
}

void ZD_CloseConsole(void)
{
    if (console_opened) FreeConsole();
    console_opened = 0;
}

void ZD_Print(const unsigned short* text)
{
    write_text(text);
}

void ZD_PrintN(const unsigned short* text)
{
    HANDLE handle;
    write_text(text);
    handle = output_handle();
    if (handle) write_bytes(handle, "\r\n", 2);
}
