/* The console debugger of a program built with the debugger (Debugger.lib).

   No debugger front end is attached: the routines keep the current source
   line, print the Debug values (debugger_print.c) and end the program with
   one line on standard output when a run-time check fails:
       Error <code> at line <n>: <what went wrong>
   ("at line <n> of <file>" for a line of an included file); the exit code is
   100 + the error code. The same routines serve the assembly and the C
   programs.

   The generated code calls Check, SetLine, EnterProcedure, LeaveProcedure
   and Break between statements with only the general registers saved, and
   inline assembly may keep floating-point values across them: this file is
   compiled without the use of any floating-point or vector register. Every
   routine keeps the registers the Windows x64 convention makes
   callee-saved. */
#include "runtime.h"
#include "debugger.h"

__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) unsigned long __stdcall GetEnvironmentVariableA(const char* name, char* value,
                                                                      unsigned long size);

void* _AddressOfReturnAddress(void);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)

/* The included files of the program, in the order of their file index
   (written by the compiler into every program built with the debugger). */
extern int ZD_DEBUGGER_NbIncludedFiles;
extern char* ZD_DEBUGGER_IncludedFiles[];

/* The line code of the statement that runs: (file index << 20) + line;
   -1 before the first statement. */
static int current_line = -1;
static HANDLE output_handle = 0;
static int alignment_checked = -1;
static int banks_dumped = 0;

static const char* const error_texts[] = {
    "",
    "Division by zero.",
    "Modulo by zero.",
    "Pointer is null.",
    "Array index out of bounds.",
    "The list has no current element.",
    "Structure array index out of bounds.",
    "Array size can't be negative.",
    "ReDim can only change the last dimension.",
    "Read past the end of the data.",
    "Map hash size must be positive.",
    "The map has no current element.",
    "The map is not initialized.",
};

#define ERROR_COUNT ((int)(sizeof error_texts / sizeof error_texts[0]))
#define NULL_POINTER 3
#define ARRAY_OUT_OF_BOUNDS 4
#define LIST_NO_CURRENT_ELEMENT 5
#define STRUCTURE_ARRAY_OUT_OF_BOUNDS 6
#define NEGATIVE_ARRAY_SIZE 7
#define LAST_DIMENSION_REDIM_ONLY 8
#define MAP_HASH_SIZE 10
#define MAP_NO_CURRENT_ELEMENT 11
#define MAP_UNINITIALIZED 12

/* ---------------------------------------------------------------------- */
/* Output */

void debugger_write_line(const char* text, unsigned long length)
{
    char small[256];
    char* line = small;
    if (length + 1 > sizeof small) {
        line = (char*)HeapAlloc(GetProcessHeap(), 0, length + 1);
        if (!line) return;
    }
    for (unsigned long i = 0; i < length; i++) line[i] = text[i];
    line[length] = '\n';
    if (!output_handle) output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    unsigned long written = 0;
    WriteFile(output_handle, line, length + 1, &written, 0);
    if (line != small) HeapFree(GetProcessHeap(), 0, line);
}

/* A text being put together: at most 511 bytes. */
typedef struct LineText {
    char bytes[512];
    unsigned long length;
} LineText;

static void add_text(LineText* line, const char* text)
{
    while (*text && line->length < sizeof line->bytes) line->bytes[line->length++] = *text++;
}

static void add_number(LineText* line, long long value)
{
    char digits[24];
    int n = 0;
    unsigned long long magnitude = value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[n++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) add_text(line, "-");
    char text[2] = {0, 0};
    while (n) {
        text[0] = digits[--n];
        add_text(line, text);
    }
}

static const char* file_part(const char* path)
{
    const char* part = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/') part = p + 1;
    return part;
}

/* "Error <code> at line <n> of <file>: " for the current line. */
static void add_error_head(LineText* line, int code)
{
    add_text(line, "Error");
    if (code > 0) {
        add_text(line, " ");
        add_number(line, code);
    }
    if (current_line != -1) {
        unsigned int file = (unsigned int)current_line >> 20;
        add_text(line, " at line ");
        add_number(line, (current_line & 0xFFFFF) + 1);
        if (file && (int)file <= ZD_DEBUGGER_NbIncludedFiles && ZD_DEBUGGER_IncludedFiles[file - 1]) {
            add_text(line, " of ");
            add_text(line, file_part(ZD_DEBUGGER_IncludedFiles[file - 1]));
        }
    }
    add_text(line, ": ");
}

static void __attribute__((noreturn)) end_with_error(int code, const char* text)
{
    LineText line;
    line.length = 0;
    add_error_head(&line, code);
    add_text(&line, text);
    debugger_write_line(line.bytes, line.length);
    ExitProcess((unsigned int)(100 + code));
    for (;;) {
    }
}

static void __attribute__((noreturn)) fail_check(int code)
{
    end_with_error(code, code > 0 && code < ERROR_COUNT ? error_texts[code] : "Unknown error.");
}

/* ---------------------------------------------------------------------- */
/* Stack alignment: every routine must be entered with rsp = 8 (mod 16).
   The check runs when the environment variable ZANDREL_CHECK_ALIGNMENT is
   set (the tests set it); our own routines realign their stack anyway. The
   variable is read once at the start: a system call may change the
   volatile vector registers, which the line routines must keep. */

void debugger_check_alignment(void* return_address_slot, const char* routine)
{
    if (alignment_checked != 1 || ((unsigned long long)return_address_slot & 15) == 8) return;
    LineText line;
    line.length = 0;
    add_text(&line, "misaligned ");
    add_text(&line, routine);
    debugger_write_line(line.bytes, line.length);
    ExitProcess(99);
}

#define CHECK_ALIGNMENT(name) debugger_check_alignment(_AddressOfReturnAddress(), name)

/* ---------------------------------------------------------------------- */
/* The program's calls */

/* rcx: the program's stack at its start; edx: 0 (assembly) or 1 (C). */
void ZD_DEBUGGER_Start(void* stack, int flags)
{
    (void)stack;
    (void)flags;
    current_line = -1;
    output_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    char value[4];
    alignment_checked = GetEnvironmentVariableA("ZANDREL_CHECK_ALIGNMENT", value, sizeof value) != 0;
    banks_dumped = GetEnvironmentVariableA("ZANDREL_DEBUGGER_DUMP", value, sizeof value) != 0;
    CHECK_ALIGNMENT("ZD_DEBUGGER_Start");
}

/* At the end of the program; with ZANDREL_DEBUGGER_DUMP set, the banks are
   listed (a test of what a front end would read). */
void ZD_DEBUGGER_End(void)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_End");
    if (banks_dumped) debugger_dump_banks();
}

/* ecx: the line code of the statement about to run, or -1 after an error;
   rdx: the saved registers (the assembly programs) or 0. */
long long ZD_DEBUGGER_Check(int line, void* registers)
{
    (void)registers;
    CHECK_ALIGNMENT("ZD_DEBUGGER_Check");
    if (line != -1) current_line = line;
    return 0;
}

void ZD_DEBUGGER_SetLine(int line)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_SetLine");
    current_line = line;
}

/* ecx: the procedure's index; rdx: its stack. */
void ZD_DEBUGGER_EnterProcedure(int index, void* stack)
{
    (void)index;
    (void)stack;
    CHECK_ALIGNMENT("ZD_DEBUGGER_EnterProcedure");
}

void ZD_DEBUGGER_LeaveProcedure(void)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_LeaveProcedure");
}

/* CallDebugger: rcx holds the saved registers; with no front end to stop
   in, the program goes on. */
void ZD_DEBUGGER_Break(void* registers)
{
    (void)registers;
    CHECK_ALIGNMENT("ZD_DEBUGGER_Break");
}

/* ecx: 6 (a run-time check failed); edx: the error code. */
long long ZD_DEBUGGER_ErrorCode(int control, int code)
{
    (void)control;
    CHECK_ALIGNMENT("ZD_DEBUGGER_ErrorCode");
    fail_check(code);
}

/* An error described by a text (the library check routines). */
long long ZD_DEBUGGER_Error(int control, const char* description)
{
    (void)control;
    CHECK_ALIGNMENT("ZD_DEBUGGER_Error");
    end_with_error(0, description ? description : "");
}

/* ---------------------------------------------------------------------- */
/* Array checks. An array variable is a row of slots: the element pointer,
   then one slot per dimension; the element block keeps its element count
   16 bytes and its dimension count 8 bytes before the data (arrays.c). With
   several dimensions slot k (k below the last) holds the stride of
   dimension k, the product of the counts after it, and the last slot the
   last count. */

static long long array_count(const long long* data)
{
    return data[-2];
}

static long long array_dimensions(const long long* data)
{
    return data[-1];
}

/* The element count of dimension `k` (from 0); 0 when it is unknown. */
static long long dimension_count(const long long* variable, int k)
{
    const long long* data = (const long long*)variable[0];
    long long dimensions = array_dimensions(data);
    long long total = array_count(data);
    long long slot = (long long)k + 1;
    if (k < 0 || slot > dimensions) return 0;
    if (dimensions == 1) return total;
    if (slot == dimensions) return variable[slot];
    if (total == 0 || variable[slot] <= 0) return 0;
    long long above = slot == 1 ? total : variable[slot - 1];
    return above / variable[slot];
}

/* The index of a one-dimension array (the C programs). */
void SYS_CheckArray(long long* variable, long long index)
{
    CHECK_ALIGNMENT("SYS_CheckArray");
    const long long* data = (const long long*)variable[0];
    if (!data || index < 0 || index >= array_count(data)) fail_check(ARRAY_OUT_OF_BOUNDS);
}

/* ecx: dimension (from 0), rdx: index, r8: the array variable. */
long long SYS_CheckMultiArrayDimension(int k, long long index, long long* variable)
{
    CHECK_ALIGNMENT("SYS_CheckMultiArrayDimension");
    if (!variable[0] || index < 0 || index >= dimension_count(variable, k)) fail_check(ARRAY_OUT_OF_BOUNDS);
    return index;
}

/* ReDim of several dimensions may change the last count only. */
void SYS_CheckRedimDimension(int k, long long count, long long* variable)
{
    CHECK_ALIGNMENT("SYS_CheckRedimDimension");
    const long long* data = (const long long*)variable[0];
    if (!data || (long long)k + 1 >= array_dimensions(data)) return;
    if (count != dimension_count(variable, k)) fail_check(LAST_DIMENSION_REDIM_ONLY);
}

void SYS_CheckStructureArrayIndex(int size, long long index)
{
    CHECK_ALIGNMENT("SYS_CheckStructureArrayIndex");
    if (index < 0 || index >= size) fail_check(STRUCTURE_ARRAY_OUT_OF_BOUNDS);
}

/* The element count of a one-dimension Dim or ReDim (the C programs). */
void SYS_CheckArraySize(long long count)
{
    CHECK_ALIGNMENT("SYS_CheckArraySize");
    if (count < 1) fail_check(NEGATIVE_ARRAY_SIZE);
}

/* A pointer that a structure field is reached through (the C programs). */
void SYS_CheckPointer(const void* pointer)
{
    CHECK_ALIGNMENT("SYS_CheckPointer");
    if (!pointer) fail_check(NULL_POINTER);
}

/* The divisor of an integer division or modulo of the C programs (the
   assembly programs check it in their own code); the code is 1 for a
   division, 2 for a modulo. */
long long SYS_CheckDivisor(long long divisor, int code)
{
    CHECK_ALIGNMENT("SYS_CheckDivisor");
    if (!divisor) fail_check(code);
    return divisor;
}

/* ---------------------------------------------------------------------- */
/* List and map checks of the C programs: a list head holds the list object
   and the current element; a map object starts with its current element. */

void SYS_CheckCurrentListElement(void** head)
{
    CHECK_ALIGNMENT("SYS_CheckCurrentListElement");
    if (!head || !head[1]) fail_check(LIST_NO_CURRENT_ELEMENT);
}

void SYS_CheckCurrentMapElement(void** map)
{
    CHECK_ALIGNMENT("SYS_CheckCurrentMapElement");
    if (!map) fail_check(MAP_UNINITIALIZED);
    if (!map[0]) fail_check(MAP_NO_CURRENT_ELEMENT);
}

/* A map whose NewMap never ran, before a keyed access. */
void SYS_CheckMap(void** map)
{
    CHECK_ALIGNMENT("SYS_CheckMap");
    if (!map) fail_check(MAP_UNINITIALIZED);
}

void SYS_CheckMapHashSize(long long value)
{
    CHECK_ALIGNMENT("SYS_CheckMapHashSize");
    if ((int)value <= 0) fail_check(MAP_HASH_SIZE);
}

/* ---------------------------------------------------------------------- */
/* The purifier: every global variable is followed by a 4-byte guard, and
   each local of a procedure too. The global map lists the guards' addresses
   (ended by 0), a procedure's map the guards' offsets from its stack (ended
   by -1). The guards get a known value; a check that finds another one
   reports that the memory after a variable was overwritten. The C programs
   pass no maps. */

#define GUARD_VALUE 0x5AFE600Du

void ZD_PURIFIER_Start(unsigned int** global_map)
{
    CHECK_ALIGNMENT("ZD_PURIFIER_Start");
    for (; global_map && *global_map; global_map++) **global_map = GUARD_VALUE;
}

void ZD_PURIFIER_EnterProcedure(const int* local_map, char* stack)
{
    CHECK_ALIGNMENT("ZD_PURIFIER_EnterProcedure");
    if (!local_map || !stack) return;
    for (; *local_map != -1; local_map++) *(unsigned int*)(stack + *local_map) = GUARD_VALUE;
}

void ZD_PURIFIER_Check(unsigned int** global_map, const int* local_map, const char* stack)
{
    CHECK_ALIGNMENT("ZD_PURIFIER_Check");
    for (; global_map && *global_map; global_map++) {
        if (**global_map != GUARD_VALUE) end_with_error(0, "The memory after a global variable was overwritten.");
    }
    if (!local_map || !stack) return;
    for (; *local_map != -1; local_map++) {
        if (*(const unsigned int*)(stack + *local_map) != GUARD_VALUE)
            end_with_error(0, "The memory after a local variable was overwritten.");
    }
}
