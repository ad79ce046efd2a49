// The operand state shared by the expression compiler and the code emitters:
// what is known about the value computed so far, the evaluation-register
// allocator and the switches between integer and x87 arithmetic.
#pragma once

#include <cstdint>

// Operand kinds.
enum : int32_t {
    OPERAND_NONE = 0,
    OPERAND_VARIABLE = 10,  // a memory operand named by the text
    OPERAND_CONSTANT = 20,  // a numeric constant
    OPERAND_REGISTER = 30,  // a value in the top register or on the x87 stack
    OPERAND_STRING = 40,    // a string (literal or computed)
};

// Operand flag bits.
enum : uint32_t {
    OP_STRING = 0x1,
    OP_COMPUTED = 0x2,
    OP_STRING_STACK = 0x4,
    OP_FLOAT = 0x40,
    OP_STRUCTURE = 0x100,
    OP_COMPARISON = 0x400,
    OP_FIXED_STRING = 0x2000,
    OP_UNSIGNED = 0x4000,
    OP_DOUBLE = 0x8000,
    OP_PROCEDURE_ADDRESS = 0x10000,
    OP_QUAD = 0x20000,
    OP_ADDRESS = 0x40000,
    OP_POINTER = 0x80000,        // the operand was written as a *pointer
    OP_FITS_32 = 0x100000,       // an x87 value known to fit 32 bits
    OP_CONTAINER_SLOT = 0x800000,  // a whole array named by its pointer slot (its data for "@")
    OP_STRUCTURE_ADDRESS = 0x1000000,  // with OP_ADDRESS: "@" of a whole structured item
};

// Expression mode word (the wanted arithmetic).
enum : uint32_t {
    MODE_INTEGER = 0,
    MODE_PRESCAN = 1,
    MODE_FLOAT = 4,
    MODE_DOUBLE = 12,            // MODE_FLOAT | 8
    MODE_DOUBLE_BIT = 8,
    MODE_QUAD = 0x20,
    MODE_STRUCTURE_NAME = 0x80,
    MODE_DWORD_LOADED = 0x100,   // a 4-byte operand was loaded in this expression
};

const int OPERAND_TEXT_SIZE = 20480;

struct CurrentOperand {
    char text[OPERAND_TEXT_SIZE];
    int32_t kind;
    int32_t size;
    int64_t constant;
    double constant_float;
    uint32_t flags;
};

// Copies an operand's fields and the used part of its text (a whole copy
// would move the full text buffer each time).
void copy_operand(CurrentOperand* to, const CurrentOperand* from);
// An operand kept aside while the current one is used for something else:
// taken and given back in reverse order, the buffers reused (each operand
// holds a large text buffer, too large to allocate per use).
CurrentOperand* take_spare_operand();
void give_back_spare_operand();

const int REGISTER_SAVE_DEPTH = 256;

struct RegisterStack {
    int32_t top;                       // register holding the current value (3 r15 .. 0 rax)
    int32_t live[4];
    uint8_t saved[REGISTER_SAVE_DEPTH];
    int32_t depth;
    int32_t lowest;
    int32_t lowest_callee_saved;
    int32_t fpu_free;
    const void* cached_list;
    int32_t cached_list_reload;
};

// The live marks of the four evaluation registers, saved around dry runs.
struct RegisterMarks {
    int32_t live[4];
};

inline bool is_float_mode(uint32_t mode) { return (mode & MODE_FLOAT) != 0; }
inline bool is_double_mode(uint32_t mode) { return (mode & MODE_DOUBLE) == MODE_DOUBLE; }
inline bool fits_int32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Puts the allocator and the operand into their per-compilation start state.
void reset_operand_state();
// Resets the allocator at the start of an expression (EXPR_RESET_REGISTERS).
void reset_registers();
// Number of busy registers counted from top down.
int count_busy_registers();

// The x64 register allocator (the C back end has its slot twin).
void register_push();
void register_pop();
void save_register_marks(RegisterMarks* marks);
void restore_register_marks(const RegisterMarks* marks);

// Sets the current operand to a register value (OPERAND_REGISTER, size 8).
void set_operand_register_text(const char* name);
// Sets the current operand to an integer constant with its decimal text.
void set_operand_integer_constant(int64_t value);
// The same with the decimal text already at hand (`length` bytes, shorter
// than the operand text).
void set_operand_integer_constant_text(int64_t value, const char* text, int length);
// Sets the current operand to a float constant (double value, nearest integer).
void set_operand_float_constant(double value, bool is_double);

// Caches the list whose current element is loaded; see cache_current_list.
int cache_current_list(const void* list);
void forget_cached_list();
