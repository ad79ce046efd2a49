/* The debugger routines a program built with the debugger calls
   (Debugger.lib). No debugger program is attached here: the program runs on,
   the lines and prints are taken and dropped, and a run-time error found by
   a check ends the program with a message on standard error. */
#include "runtime.h"

__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);

/* The bytes of one thread's Threaded objects (written by the compiler). */
extern long long ZD_ThreadedObjectSize;

static long long current_line = -1;
static long long pending_error = 0;

static const char* const error_names[] = {
    "",
    "Division by zero.",
    "Modulo by zero.",
    "Pointer is null.",
    "Array index out of bounds.",
    "The list has no current element.",
    "Structure array index out of bounds.",
    "Array size can't be negative or zero.",
    "ReDim can only change the last dimension.",
    "Read past the end of the data.",
    "Map hash size must be positive.",
    "The map has no current element.",
    "The map is not initialised.",
};

static unsigned long text_length(const char* text)
{
    unsigned long n = 0;
    while (text[n]) n++;
    return n;
}

static void write_error(const char* text)
{
    unsigned long written = 0;
    WriteFile(GetStdHandle((unsigned long)-12), text, text_length(text), &written, 0);
}

/* Decimal text of a non-negative number into a 24-byte buffer. */
static const char* decimal_text(long long value, char* buffer)
{
    char* p = buffer + 23;
    *p = 0;
    unsigned long long n = value < 0 ? 0 : (unsigned long long)value;
    do {
        *--p = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    return p;
}

static void report_fatal_error(void)
{
    char number[24];
    long long code = pending_error;
    write_error("Run-time error: ");
    write_error(code > 0 && code < (long long)(sizeof error_names / sizeof error_names[0]) ? error_names[code] : "unknown");
    if (current_line >= 0) {
        /* The line code holds the file index above bit 20. */
        write_error(" (line ");
        write_error(decimal_text((current_line & 0xFFFFF) + 1, number));
        if (current_line >> 20) {
            write_error(" of included file ");
            write_error(decimal_text(current_line >> 20, number));
        }
        write_error(")");
    }
    write_error("\r\n");
    ExitProcess(1);
}

void ZD_DEBUGGER_Start(void* stack, long long flags)
{
    (void)stack;
    (void)flags;
    current_line = -1;
    pending_error = 0;
}

void ZD_DEBUGGER_End(void)
{
}

/* ecx: the line code, or -1 after an error; rdx: the saved registers. The
   C programs pass the line as an int, whose upper half of rcx is undefined. */
void ZD_DEBUGGER_Check(int line, void* registers)
{
    (void)registers;
    if (line == -1) {
        if (pending_error) report_fatal_error();
        return;
    }
    current_line = line;
}

void ZD_DEBUGGER_SetLine(int line)
{
    current_line = line;
}

void ZD_DEBUGGER_EnterProcedure(long long index, void* stack)
{
    (void)index;
    (void)stack;
}

void ZD_DEBUGGER_LeaveProcedure(void)
{
}

void ZD_DEBUGGER_Error(const void* text)
{
    (void)text;
}

/* ecx: 6 (a run-time check failed); edx: the error code. */
void ZD_DEBUGGER_ErrorCode(int kind, int code)
{
    (void)kind;
    pending_error = code;
}

void ZD_DEBUGGER_PrintString(const unsigned short* text) { (void)text; }
void ZD_DEBUGGER_PrintFloat(float value) { (void)value; }
void ZD_DEBUGGER_PrintLong(int value) { (void)value; }
void ZD_DEBUGGER_PrintQuad(long long value) { (void)value; }
void ZD_DEBUGGER_PrintDouble(double value) { (void)value; }

void ZD_DEBUGGER_Break(void* registers)
{
    (void)registers;
}

/* rcx: dimension, rdx: index or new size, r8: the array variable. The
   dimension sizes are the array runtime's; nothing is compared here. */
void SYS_CheckMultiArrayDimension(long long dimension, long long index, void* array)
{
    (void)dimension;
    (void)index;
    (void)array;
}

void SYS_CheckRedimDimension(long long dimension, long long size, void* array)
{
    (void)dimension;
    (void)size;
    (void)array;
}

/* The checks the C programs call: a failed one ends the program through the
   same fatal report as the x64 checks. Array and element checks need the
   containers' layouts, which are the array and list runtimes'. */
static void fail_check(int code)
{
    pending_error = code;
    report_fatal_error();
}

void SYS_CheckArray(long long* array, long long index)
{
    (void)array;
    (void)index;
}

void SYS_CheckCurrentListElement(void* list) { (void)list; }
void SYS_CheckCurrentMapElement(void* map) { (void)map; }

void SYS_CheckMapHashSize(long long value)
{
    if (value <= 0) fail_check(10);
}

void SYS_CheckStructureArrayIndex(int size, long long index)
{
    if (index < 0 || index >= size) fail_check(6);
}

/* One thread's block of Threaded objects, zero-filled; the thread-object
   runtime's own definition takes precedence when it is linked. */
__attribute__((weak)) void* SYS_InitThreadedObject(void)
{
    return HeapAlloc(GetProcessHeap(), 8, (unsigned long long)ZD_ThreadedObjectSize + 8);
}
