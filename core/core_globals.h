// Global state of the compiler core and driver, grouped here so that a reader
// finds it in one place. Each section names the file that implements it.
#pragma once

#include <cstdint>

#include "core/cursor_list.h"
#include "core/error_state.h"
#include "core/hash_table.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "core/char_tables.h"

struct PrivateHeap;

// ---------------------------------------------------------------------------
// Command-line options (command line; defined in core/core_globals.cpp).

extern int32_t standby_mode;
extern int32_t quiet_mode;
extern int32_t commented_output;
extern int32_t debugger_enabled;
extern char* preprocess_file;
extern int32_t report_warnings;     // standby COMPILE option WARNINGS

// ---------------------------------------------------------------------------
// Error state (core/error_state.cpp).

extern ErrorState error_state;
// Short names for the fields of the one error state.
inline int32_t& error_number = error_state.error_number;
inline char*& error_position = error_state.error_position;
inline char (&error_message)[error_message_capacity] = error_state.error_message;
inline uint8_t& suppress_errors = error_state.suppress_errors;
inline int32_t& error_reported = error_state.error_reported;

// Message n of the table; the catalog may replace entries.
extern const char* message_table[message_table_size];

extern int32_t standby_include_line;          // -1 when none
extern char standby_include_file[4096];
extern int32_t standby_loop_started;          // set once the standby command loop runs

// ---------------------------------------------------------------------------
// Heaps and memory pools (core/memory_pools.cpp; the heaps are created and
// destroyed by the driver).

extern PrivateHeap* permanent_heap;
extern PrivateHeap* compilation_heap;
extern MemoryPool compilation_pool;
extern MemoryPool permanent_pool;

// ---------------------------------------------------------------------------
// Output text buffers (core/output_buffers.cpp).

extern TextBuffer* head_buffer;
extern TextBuffer* label_buffer;
extern TextBuffer* code_buffer;
extern TextBuffer* procedure_buffer;
extern TextBuffer* valid_lines_buffer;
extern TextBuffer* code_context_buffer;

extern char* data_buffer_start;
extern char* data_write_pointer;
extern char* data_buffer_end;
extern char* debugger_data_start;
extern char* debugger_data_write;
extern char* debugger_data_end;

extern char* output_buffer_start;
extern char* output_write_pointer;
extern char* output_buffer_end;       // end of the current buffer's block
extern BufferStackEntry buffer_stack[buffer_stack_capacity];
extern int32_t buffer_stack_depth;    // index of the top entry, -1 when empty
extern uint32_t no_output_depth;      // while non-zero the emitters write nothing

// ---------------------------------------------------------------------------
// Character and precedence tables, compilation state (core/char_tables.cpp).

extern uint8_t identifier_start_chars[256];  // A-Z a-z _
extern uint8_t identifier_chars[256];        // A-Z a-z 0-9 _
extern uint8_t uppercase_table[256];
extern uint8_t lowercase_table[256];
extern uint8_t escape_chars[256];            // escape letter -> byte, 0 for none
extern const char* operator_word_text[256];  // by token code; null when none
extern int32_t token_length[256];            // by token code
extern int32_t operator_precedence[256];     // by token code; 0 for non-operators

extern uint8_t debugger_code;                // emit debugger instrumentation
