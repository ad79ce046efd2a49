// The seam between the shared compiler (core and front end) and the two back
// ends. Each compiler's main installs one table; the shared code reaches
// every back-end service through `backend`.
#pragma once

#include <cstdint>

struct VariableRecord;

// The evaluation places (x64: four registers and the x87 count; C: slots)
// and the push depth, saved around dry runs.
struct EvaluationState {
    int32_t marks[8];
    int32_t push_depth;
};

// The target of an assignment, kept by the expression compiler while the
// right side is compiled.
struct ExpressionTarget {
    const char* text;           // operand text of the target
    int32_t kind;
    int32_t size;               // access size 1, 2, 4 or 8
    uint32_t flags;             // operand flags (float, double, unsigned, string, fixed string)
    int32_t fixed_length;       // characters of a fixed-string target
    VariableRecord* variable;   // the target variable, or null
};

struct BackendHooks {
    const char* name;                 // "x64" or "C"
    // Fills the back end's fixed tables (register names, jump tables, ...).
    void (*init_backend_tables)();
    // Debugger instrumentation of the source reader and the statement
    // dispatcher; null while a back end does not provide them.
    // The line marker of the current line ("DBL" or "DBLA").
    void (*emit_line_marker)(const char* routine);
    // Appends the current LineCode to the debugger's valid-lines table.
    void (*add_debugger_line_entry)();

    // Program output and jumps (null while a back end lacks them).
    // Per compilation: the program output's extern set and the Gosub counter.
    void (*reset_program_output)();
    // After the whole source compiled without error: the start-up code, the
    // library and global initialisations, the end code, data and bss.
    void (*finish_program)();
    // " JMP <label>"; Gosub, Return, FakeReturn; End with the value (if any)
    // in the current operand.
    void (*emit_goto)(const char* label);
    void (*emit_gosub)(const char* label);
    void (*emit_return_from_gosub)();
    void (*emit_fake_return)();
    void (*emit_end_statement)(int with_value);

    // Expressions. Every point where the shared expression compiler writes
    // code goes through these; the operands are the current operand and the
    // evaluation place at the top of the allocator.
    // Per compilation: the emitters' counters and the float constant pools.
    void (*reset_expression_state)();
    // Takes and releases the place of a new value.
    void (*take_evaluation_place)();
    void (*release_evaluation_place)();
    void (*save_evaluation_state)(EvaluationState* state);
    void (*restore_evaluation_state)(const EvaluationState* state, int restore_marks);
    // Loads the left operand of an operator into the evaluation place.
    void (*load_left_operand)();
    // Left value in the evaluation place, right value the current operand.
    void (*apply_operator)(int token);
    // Left value the constant (value, real), right value the current operand.
    void (*apply_operator_left_constant)(int token, int64_t value, double real);
    // Adds the pending sum of "+"/"-" constants.
    void (*add_pending_constant)(int64_t value, double real);
    void (*negate_operand)();
    void (*complement_operand)();
    int (*enter_float_mode)(int move_live);
    void (*float_result_to_register)();
    void (*discard_float_result)();
    // Swaps the two top float values (the left one was moved above the right).
    void (*exchange_float_values)();
    // Stores the current operand (the value) into the target.
    void (*assign_result)(const ExpressionTarget* target);
    // The operand text of a variable (may write a frame-pointer reload).
    const char* (*format_variable_operand)(VariableRecord* variable);
    // Clean-up of a local at the end of its procedure (string, structure).
    void (*emit_local_cleanup)(VariableRecord* variable);

    // Array emitters (frontend/arrays.h); null when the back end has none.
    const struct ArrayHooks* arrays;

    // The peephole pass over the finished code (with the optimiser on and
    // the debugger off); null when the back end has none.
    void (*optimize_code)();
};

extern const BackendHooks* backend;

void install_backend(const BackendHooks* hooks);
