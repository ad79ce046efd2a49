// Global state of the C back end, in one place. Each section names the file
// that implements or fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cursor_list.h"

// ---------------------------------------------------------------------------
// The compile pipeline (backend_c/c_compile_program.cpp).

// 1 when the program is made at the /OUTPUT path, 0 when it is made as
// "Zandrel.exe" in the start folder and started (always 0 for a DLL).
extern int32_t executable_at_output_path;

// ---------------------------------------------------------------------------
// Marks the C emitters set while the source compiles and the C file writer
// reads (backend_c/c_globals.cpp; cleared by c_backend_reset).

extern int32_t string_manager_used;     // the string stack and its routines
extern int32_t runtime_used;            // Runtime declarations exist
extern int32_t gosub_used;              // Gosub was compiled
extern int32_t c_threaded_items_used;   // Threaded objects exist
extern int64_t c_threaded_object_size;  // bytes of one thread's object block
extern int32_t data_array_open;         // the zd_data byte array was opened
extern int32_t empty_literal_number;    // number of the empty literal, -1 when none
extern int32_t lists_created;           // a NewList was compiled (ZD_NewList)
extern int32_t maps_created;            // a NewMap was compiled (ZD_NewMap)

// One flag per optional runtime routine of the generated program: set by the
// emitter that writes a call of it; the C file declares only those.
enum CRuntimeRoutine : int32_t {
    C_SYS_CopyStructure,
    C_SYS_CopyString,
    C_SYS_CopyFixedString,
    C_SYS_AssignFixedString,
    C_SYS_AssignFixedStringFast,
    C_SYS_CheckStringBuffer,
    C_SYS_InitDynamicStructure,
    C_SYS_ToAscii,
    C_SYS_BufferToAscii,
    C_SYS_ToUnicode,
    C_SYS_BufferToUnicode,
    C_SYS_ToBSTR,
    C_SYS_BufferToBSTR,
    C_SYS_ToUTF8,
    C_SYS_BufferToUTF8,
    C_SYS_FreeStructureStrings,
    C_SYS_StringEqual,
    C_SYS_StringSuperior,
    C_SYS_StringInferior,
    C_SYS_AllocateString4,
    C_SYS_FastAllocateString4,
    C_SYS_FastAllocateStringFree4,
    C_SYS_FreeString,
    C_SYS_FreeStringNoCheck,
    C_ZD_NewList,
    C_SYS_AllocateArray,
    C_SYS_AllocateMultiArray,
    C_SYS_ReAllocateArray,
    C_SYS_ReAllocateMultiArray,
    C_SYS_FreeArray,
    C_ZD_NewMap,
    C_ZD_GetMapElement,
    C_SYS_GetThreadedObject,
    C_RUNTIME_ROUTINE_COUNT
};
extern uint8_t c_runtime_used[C_RUNTIME_ROUTINE_COUNT];

// Blocks and conditions (backend_c/c_blocks.cpp, backend_c/c_conditions.cpp;
// emptied by c_reset_block_state for each compilation): the label counter of
// the C function being written (blocks and And/Or chains) and the main
// code's while a procedure is written; the condition of the Case being
// compiled; the local's name a folded And/Or chain leaves as its text until
// it is read; the left texts of the open XOr operators, innermost last.
extern int32_t c_block_label_counter;
extern int32_t c_saved_block_label_counter;
extern std::string c_case_condition;
extern std::string c_folded_chain_text;
extern std::vector<std::string> c_xor_left_texts;

// A literal string of the program as the string table writes it: its
// sequence number and UTF-8 text, in table order (filled by the C string
// emitters when a literal is interned).
struct CLiteralString {
    int32_t number;
    std::string text;
};
extern std::vector<CLiteralString> c_literal_table;

// One entry per fixed-string length in bytes ("ft_<n>" typedefs).
extern std::vector<int32_t> fixed_string_size_table;

// An 8-byte slot of a named C byte array that receives an address at run
// time: the array's name, the slot's offset and the target's C text.
struct PointerFixup {
    ListNode link;
    const char* array;
    int32_t offset;
    const char* target;
};
static_assert(sizeof(PointerFixup) == 40);
// Applied in the program's start-up code / at the start of each procedure
// body; made anew by c_backend_reset (per-compilation heap).
extern CursorList* global_fixup_list;
extern CursorList* local_fixup_list;
// The static byte-array block being written and the bytes written into it
// (backend_c/c_fixups.cpp).
extern const char* static_block_name;
extern int32_t static_block_offset;
// Bytes of the zd_data array written so far: the offset of the next Data
// byte (backend_c/c_data_section.cpp; 0 for each compilation).
extern int32_t data_offset;
// Entries on the current row of the debugger's valid-lines table; -1 at
// start-up, kept across compilations (backend_c/c_debugger.cpp).
extern int32_t c_valid_lines_row_count;
// Procedure labels that a reference inside their procedure found
// (LabelRecord copies with their procedure; backend_c/c_labels.cpp).
extern CursorList* c_referenced_procedure_labels;

// The expression slots: in-use marks, the current slot and the lowest one
// reached (c_backend_reset).
constexpr int32_t c_expression_slot_count = 7;
constexpr int32_t c_first_expression_slot = 6;
extern int32_t c_slot_marks[c_expression_slot_count];
extern int32_t c_slot_stack_depth;
extern int32_t c_current_slot;
extern int32_t c_lowest_slot;
// The C text held by each slot, and the slot values saved by each take
// (backend_c/c_expressions.cpp; cleared by c_reset_expression_state).
constexpr int32_t c_slot_save_depth = 256;
extern const char* c_slot_texts[c_expression_slot_count];
extern int8_t c_slot_saved[c_slot_save_depth];
// The buffers the expression emitters write their texts into, kept with
// their capacity from operator to operator: each slot's text (what the
// slot's pointer above points into), the result an operator is building
// (exchanged with its slot's buffer once built), an operand rewritten
// before a template takes it, and a spare for rewriting that operand, and
// the assignment line being built.
struct CExpressionTexts {
    std::string slots[c_expression_slot_count];
    std::string result;
    std::string operand;
    std::string spare;
    std::string line;
};
extern CExpressionTexts c_expression_texts;
// Number of the next Gosub return label "lg_<n>" (backend_c/c_jumps.cpp).
extern int32_t c_gosub_counter;
// Jumps by label address (backend_c/c_jumps.cpp; 0 for each compilation):
// set while the C function being written takes a label's address or
// returns from a Gosub (the main code's mark kept aside while a procedure
// is written), and the mark that a function was given the never-taken
// jump through zd_label_jump.
extern int32_t c_function_takes_label_addresses;
extern int32_t c_main_takes_label_addresses;
extern int32_t c_label_jump_written;

// Strings (backend_c/c_strings.cpp; 0 for each compilation): the number of
// the next "p<n>" local (string comparisons, fixed-string stores, hoisted
// arguments; saved and restarted by each procedure), and the mark that the
// string stack or a string routine was used (read by the procedure prologue
// of thread-safe programs).
extern int32_t p_temporary_counter;
extern int32_t procedure_uses_strings;

// Procedures and calls (backend_c/c_procedures.cpp, backend_c/c_calls.cpp;
// emptied for each compilation by c_reset_procedure_state and
// c_reset_call_state). The number of the next "r<n>" call result (saved
// and restarted by each procedure); the prototypes of the procedures, one
// line each, written ahead of all code; the debugger state at the
// Procedure line; the mark that the procedure uses Threaded variables.
extern int32_t result_local_counter;
// The C text of the list or map element (or NewMap slot count) last
// compiled, handed to the shared front end as the operand text.
extern std::string c_list_map_element_text;
extern std::string c_prototypes_text;
// Set by the list and map element accesses of a statement, cleared at each
// statement's line marker: the purifier checks after such a statement
// (backend_c/c_debugger.cpp).
extern int32_t c_list_or_map_touched;
// The residents' prototypes that type something of the program, in the
// order they were first named (their typedefs are written for these only).
struct ProcedureRecord;
extern std::vector<ProcedureRecord*> c_used_resident_prototypes;
extern int32_t procedure_debugger_on;
extern int32_t procedure_uses_threaded;
// The number of the next "pt<n>" converted string argument (never
// restarted within a compilation) and the numbers still to free, the last
// queued first.
extern int32_t pt_temporary_counter;
extern std::vector<int32_t> pt_release_queue;
// One call whose arguments are being compiled (innermost last): the C text
// of each argument by parameter index, the index the next argument fills
// (they come from the last to the first), and whether the string base was
// saved for it.
struct CallRecord;
struct CCallFrame {
    CallRecord* call;
    std::string object;   // the object of a method call
    std::vector<std::string> arguments;
    std::vector<char> verbatim;   // the argument's text is passed as it stands (containers)
    int32_t next_index;
    int32_t pushed;
};
extern std::vector<CCallFrame> c_call_frames;
