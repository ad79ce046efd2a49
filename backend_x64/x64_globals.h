// Global state of the x64 back end, grouped here so that a reader finds it in
// one place. Each section names the file that implements it.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Emitter stack state and the emitters' flags (backend_x64/emit_common.cpp).

struct EmitterStackState {
    int32_t push_depth;       // bytes pushed since the base of the current frame
    int32_t call_frame_pad;   // pad of the open call frame, 0 when none
    int32_t fpu_depth;        // values on the x87 register stack (at most 7)
};

extern EmitterStackState emitter_stack;
extern int32_t string_position_saved;        // string base saved for the current string expression
extern int32_t code_emitted;                 // code was generated (error 221 inside a DataSection)
extern int32_t procedure_uses_string_stack;  // the procedure uses the temporary string stack
extern int32_t jump_sense_inverted;          // an x87 compare asks for the opposite jump
extern int32_t compare_was_x87;              // the last compare was an x87 one (emit_control_flow.cpp)
extern int32_t dll_symbol_addresses;         // form symbol addresses with LEA (/DLL)
// Codes on the open row of the valid-lines table minus one; -1 when no row
// is open (backend_x64/debugger_lines.cpp).
extern int32_t valid_lines_row_count;

// Runtime routines whose "extrn" line the program output writes when an
// emitter has called them; in the order of the extern list.
enum RuntimeRoutine : int32_t {
    RT_SYS_CopyStructure,
    RT_SYS_CopyString,
    RT_SYS_CopyFixedString,
    RT_SYS_AssignFixedString,
    RT_SYS_AssignFixedStringFast,
    RT_SYS_CheckStringBuffer,
    RT_SYS_SkipString,
    RT_SYS_InitDynamicStructure,
    RT_SYS_ToAscii,
    RT_SYS_BufferToAscii,
    RT_SYS_ToUnicode,
    RT_SYS_BufferToUnicode,
    RT_SYS_ToBSTR,
    RT_SYS_BufferToBSTR,
    RT_SYS_ToUTF8,
    RT_SYS_BufferToUTF8,
    RT_SYS_FreeStructureStrings,
    RT_SYS_FreeArray,
    RT_SYS_StringEqual,
    RT_SYS_StringSuperior,
    RT_SYS_StringInferior,
    RT_SYS_AllocateString4,
    RT_SYS_FastAllocateString4,
    RT_SYS_FastAllocateStringFree4,
    RT_SYS_FreeString,
    RT_SYS_FreeStringNoCheck,
    RT_SYS_AllocateArray,
    RT_SYS_AllocateMultiArray,
    RT_SYS_ReAllocateArray,
    RT_SYS_ReAllocateMultiArray,
    RT_ZD_GetMapElement,
    RT_SYS_InitThreadedObject,
    RT_SYS_GetThreadedObject,
    RT_SYS_AddParallelJob,
    RUNTIME_ROUTINE_COUNT
};

extern uint8_t runtime_routine_used[RUNTIME_ROUTINE_COUNT];
extern const char* const runtime_routine_names[RUNTIME_ROUTINE_COUNT];

// ---------------------------------------------------------------------------
// Operand addressing (backend_x64/emit_operands.cpp).

extern int32_t thread_object_used;         // a threaded variable was addressed
extern int32_t procedure_uses_rbp;         // rbp was reloaded in the current procedure
extern int32_t local_equates_depth;        // push depth at the last run of the equate writer

// ---------------------------------------------------------------------------
// Procedure frames and calls (backend_x64/emit_procedures.cpp).

extern int32_t extra_argument_slots;       // stack arguments beyond the four register ones of the last call

// ---------------------------------------------------------------------------
// Per-thread objects (backend_x64/program_threads.cpp).

extern int32_t thread_callback_code;       // the per-thread callbacks are written: rbp comes from their own frame
