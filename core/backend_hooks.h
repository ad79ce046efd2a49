// The seam between the shared compiler (core and front end) and the two back
// ends. Each compiler's main installs one table; the shared code reaches
// every back-end service through `backend`. Every entry is given by both
// back ends (a back end with nothing to write for one installs a function
// that says why), and the shared code calls them without testing them; a
// unit test checks that both tables are complete.
#pragma once

#include <cstdint>

struct VariableRecord;
struct ProcedureRecord;
struct CallRecord;
struct LibraryCommand;
struct BlockLevel;
struct SelectLevel;
struct StructureRecord;

// The evaluation places (x64: four registers and the x87 count; C: slots)
// and the push depth, saved around dry runs.
struct EvaluationState {
    int32_t marks[8];
    int32_t push_depth;
};

// How far the numbers a back end hands out while it compiles (labels,
// temporaries) have gone. A prescan of an argument list that is kept and
// taken again moves them on as far as its first reading did.
enum : int32_t { NUMBERING_COUNT = 4 };
struct NumberingState {
    int32_t numbers[NUMBERING_COUNT];
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
    bool base_saved;            // a string target's address waits on the machine stack: the back end
                                // reads it back into the base register once the value is read
};

// Kinds of the debugger's code-context records (add_code_context_entry).
enum : int32_t {
    CODE_CONTEXT_PROCEDURE_START = 1,
    CODE_CONTEXT_PROCEDURE_END = 2,
    CODE_CONTEXT_MODULE_START = 3,
    CODE_CONTEXT_MODULE_END = 4,
    CODE_CONTEXT_USE_MODULE = 5,
    CODE_CONTEXT_UNUSE_MODULE = 6,
};

// Purposes of take_label_number.
enum : int {
    LABEL_FOR_BLOCK = 0,
    LABEL_FOR_CHAIN = 1,
    LABEL_FOR_VALUE = 2,
};

// A message of the shared table in a back end's own words.
struct MessageText {
    int32_t number;
    const char* text;
};

struct BackendHooks {
    const char* name;                 // "x64" or "C"
    // Fills the back end's fixed tables (register names, jump tables, ...).
    void (*init_backend_tables)();
    // Debugger instrumentation of the source reader and the statement
    // dispatcher.
    // The line marker of the current line ("DBL" or "DBLA").
    void (*emit_line_marker)(const char* routine);
    // Appends the current LineCode to the debugger's valid-lines table.
    void (*add_debugger_line_entry)();
    // Debug: the string base position saved before the expression; the
    // value in the current operand printed by the debugger and the position
    // restored.
    void (*begin_debug_value)();
    void (*emit_debug_value)();
    // CallDebugger: the line marker and the break with the saved registers.
    void (*emit_call_debugger)();
    // Tells the debugger the current line again (before DisableDebugger).
    void (*emit_debugger_set_line)();
    // A record of the code-context table, of a CODE_CONTEXT_* kind (the
    // start or end of a procedure or a module, UseModule, UnuseModule), with
    // the name.
    void (*add_code_context_entry)(int32_t kind, const char* name);
    // At the start of a procedure body, while debugger calls are written:
    // the debugger's (and the purifier's) procedure entry; the procedure
    // gets PROC_SECOND_DEBUGGER_ENTRY, which its epilogue's leave call reads.
    void (*emit_debugger_enter_procedure)(ProcedureRecord* procedure);
    // After a plain statement that wrote code, with the purifier: the check
    // of the guards after the variables; after an assembly line it keeps
    // the registers and flags.
    void (*emit_purifier_check)(int after_assembly);

    // Program output and jumps.
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

    // Blocks and conditions. The shared block compiler numbers the labels
    // and keeps the numbers in its block and Select levels; each entry
    // writes one step of a statement in the back end's own form (x64: labels
    // and jumps; C: C blocks and loops).
    // A new label number for a block (LABEL_FOR_BLOCK), an And/Or chain
    // (LABEL_FOR_CHAIN) or a Not/XOr value (LABEL_FOR_VALUE).
    int32_t (*take_label_number)(int purpose);
    // If and ElseIf: the test of the condition in the current operand,
    // leaving for the false label. ElseIf and Else: the end of the branch
    // before (to the end label) and the start of the next one at the old
    // false label. EndIf: the labels still owed (flags BLOCK_FLAG_*).
    void (*emit_if_test)(int32_t false_label, int is_else_if);
    void (*emit_if_branch_end)(int32_t end_label, int32_t false_label);
    void (*emit_end_if)(int32_t end_label, int32_t false_label, int flags);
    // While: the loop's head, the test of its condition, Wend.
    void (*emit_while_begin)(int32_t label);
    void (*emit_while_test)(int32_t label);
    void (*emit_wend)(int32_t label);
    // Repeat: the head; Until: the place Continue reaches, then (after the
    // condition) the test and the loop's end; ForEver.
    void (*emit_repeat_begin)(int32_t label);
    void (*emit_until_begin)(int32_t label, int continue_used);
    void (*emit_until_test)(int32_t label);
    void (*emit_forever)(int32_t label, int continue_used);
    // For: the loop's head after the counter's assignment (with the line
    // marker a back end writes inside it, when `with_marker`), the end value
    // (current operand) tested against the counter; Next: the step and the
    // loop's end (`loop_label` the For's first number); the end of ForEach.
    void (*emit_for_begin)(int32_t loop_label, int with_marker);
    void (*emit_for_test)(VariableRecord* counter, int negative_step, int32_t next_label);
    void (*emit_next)(VariableRecord* counter, int64_t step, int32_t loop_label, int32_t next_label);
    void (*emit_foreach_end)(int32_t label);
    // Break and Continue to the loop level: the string base position kept
    // `string_offset` bytes above the stack top (-1: none) and the `bytes`
    // of Select values of the Cases left on the way.
    void (*emit_break)(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
    void (*emit_continue)(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
    // ProcedureReturn, before its value: what the open string Selects keep
    // (a raised string base position, a copy of the selector) is given back.
    void (*emit_leave_string_selects)();
    // Select: the selector (current operand) kept; dropped at EndSelect.
    void (*emit_select_push)();
    void (*emit_select_drop)();
    // Case and Default: the end of the previous branch. Case items, the
    // current operand compared with the selector: a value, or a range's
    // lower bound (returns a place the range's end may need) and upper bound;
    // `last` when no item follows (a failed test goes to `next_label`, else
    // a match goes to `body_label`; `range_label` joins a range that is not
    // last). Then the start of the body; EndSelect's labels (`in_case`: the
    // last branch is a Case, not a Default).
    void (*emit_case_close)(const SelectLevel* select);
    void (*emit_case_value)(const SelectLevel* select, int continued, int last, int32_t body_label,
                            int32_t next_label);
    int64_t (*emit_case_range_start)(const SelectLevel* select, int continued);
    void (*emit_case_range_end)(const SelectLevel* select, int64_t lower_place, int last, int32_t body_label,
                                int32_t next_label, int32_t range_label);
    void (*emit_case_body)(const SelectLevel* select, int body_jumps, int32_t body_label);
    void (*emit_end_select)(const SelectLevel* select, int in_case);
    // Not: the (inverted) truth of the current operand as a 0/1 value.
    void (*emit_condition_value)(int32_t number, int negate);
    // A comparison that is the operand of another operator or a call's
    // argument ("(x > 0) = 1", "-(a < b)", "f(x > 0)"): its truth as a 0/1
    // integer value, through labels numbered `number`.
    void (*emit_comparison_value)(int32_t number);
    // Bool(): the truth of the current operand (comparison, value or
    // string) as a 0/1 value; `number` numbers its labels.
    void (*emit_bool)(int32_t number);
    // And/Or chain `number`: the test of the left operand (returns a place
    // the right side may need); the test of the right operand, told about
    // the left one and whether both were constants (`folded`); the tail,
    // which gives the chain's truth (after folding: only the back end's
    // names, the value is the constant).
    int64_t (*emit_logical_left)(int is_or, int32_t number);
    void (*emit_logical_right)(int is_or, int32_t number, int64_t left_place, int left_constant, int left_truth,
                               int folded);
    void (*emit_logical_chain_end)(int32_t number, int folded);
    // XOr: the left truth kept; after the right side, the result.
    void (*emit_logical_xor_left)(int32_t number);
    void (*emit_logical_xor_right)(int32_t number);

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
    // The numbers handed out so far, and moving them on by the given counts.
    void (*read_numbering)(NumberingState* state);
    void (*advance_numbering)(const NumberingState* by);
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
    // The float result rounded to an integer value; integer arithmetic
    // from here on.
    void (*round_float_result_to_integer)();
    void (*discard_float_result)();
    // Swaps the two top float values (the left one was moved above the right).
    void (*exchange_float_values)();
    // Stores the current operand (the value) into the target.
    void (*assign_result)(const ExpressionTarget* target);
    // `p = q` of two items of one structure: the source's address was
    // loaded by load_operand_address (the current operand); the target's
    // bytes become a copy of the source's (strings and containers copied).
    void (*copy_structure)(const ExpressionTarget* target, struct StructureRecord* structure);
    // The operand text of a variable (may write a frame-pointer reload).
    const char* (*format_variable_operand)(VariableRecord* variable);
    // Before inline assembly in a procedure: the procedure's locals named
    // for the assembly text (x64 "equ" lines; C writes none).
    void (*name_locals_for_inline_assembly)();
    // Clean-up of a local at the end of its procedure (string, structure).
    void (*emit_local_cleanup)(VariableRecord* variable);
    // "@": the address of the current operand (a variable, field or
    // element, a structure, a string's text, an interned literal, a whole
    // array's data) becomes a register value; also the address of a
    // procedure (or imported function) and, for "?", of a label (its
    // assembly name).
    void (*load_operand_address)();
    void (*load_procedure_address)(ProcedureRecord* procedure);
    void (*load_label_address)(const char* label);

    // Strings. The temporary string
    // stack: its write position is saved (pushed) before the first piece of
    // a string expression, restored (popped) when the result is used up, and
    // advanced past the terminator of a string that must stay there.
    void (*push_string_base_position)();
    void (*restore_string_base_position)();
    void (*increment_string_base_position)();
    // Appends the current operand (a string or fixed-string variable, or an
    // interned literal) at the write position; with `save_position` the
    // position is saved first (after the operand's address is taken, so that
    // a stack-relative operand is read where it was formatted).
    void (*copy_string_to_stack)(int save_position);
    // Drops the pushed offset of a temporary that continues the string
    // built below it.
    void (*drop_string_offset)();
    // Keeps the current string variable as the left side of a string
    // comparison (STRING_PLACE_PUSHED of frontend/strings.h).
    void (*keep_compared_string)();
    // Compares the left string (a StringPlace of frontend/strings.h; the
    // literal's number for a literal) with the current operand; the result
    // is tested as a register value against zero.
    void (*compare_strings)(int token, int left_place, int32_t left_literal);
    // A number joined to a string at run time (form 0 Str, 1 StrF, 2 StrD):
    // the current operand is taken as the argument first; then, after any
    // pending literal has been copied, the library command writes the text
    // at the write position, whose offset is saved as a temporary's.
    void (*push_number_text_argument)(int form);
    void (*emit_number_text)(const LibraryCommand* command, int form);

    // Array emitters (frontend/arrays.h).
    const struct ArrayHooks* arrays;
    // DataSection values, Read, Restore, Swap and IncludeBinary
    // (frontend/data_sections.h) and structure fields
    // (frontend/structure_fields.h).
    const struct DataHooks* data;
    const struct FieldHooks* fields;
    // List and map emitters (frontend/lists_maps.h).
    const struct ListMapHooks* lists_maps;

    // Procedures and calls. The body of
    // a procedure is written into its own code buffer (current from the
    // Procedure statement to EndProcedure).
    // A Prototype line, while its parameters are still declared: the type
    // it declares (C: the pointer typedef with the parameters' names).
    void (*declare_prototype)(ProcedureRecord* prototype);
    // Start of the body: the per-procedure emitter state.
    void (*begin_procedure)(ProcedureRecord* procedure);
    // EndProcedure: the default result and the end labels; then the front
    // end drops the locals (their clean-up); then the rest of the epilogue
    // and the prologue written in front of the body.
    void (*begin_procedure_epilogue)(ProcedureRecord* procedure);
    void (*finish_procedure)(ProcedureRecord* procedure);
    // ProcedureReturn, with the value (if any) in the current operand.
    void (*emit_procedure_return)(ProcedureRecord* procedure, int with_value);
    // A call (frontend/call_arguments.h): the saved x87 values, the pad and
    // the hidden string base; one argument (the current operand, or a
    // default value) pushed for a parameter type; then the register loads,
    // the call, the release and the result's place.
    void (*begin_call)(CallRecord* call);
    void (*push_call_argument)(CallRecord* call, int type);
    void (*push_default_argument)(CallRecord* call, int type, int64_t value);
    // A whole array, list or map (kind TYPE_ARRAY, TYPE_LIST or TYPE_MAP:
    // the record) for a
    // parameter of the type.
    void (*push_container_argument)(CallRecord* call, int type, int kind, void* record);
    // A structure entry of a library command's parameters: 7 and 32 the
    // structure's size, 33 (and 27, 29, 31 for a container's elements) the
    // address of its map, 34 its descriptor table; null for none (0). The
    // front end has marked the structure for the map or descriptor it needs.
    void (*push_structure_argument)(CallRecord* call, int type, StructureRecord* structure);
    void (*finish_call)(CallRecord* call);

    // The peephole pass over the finished code (with the optimiser on and
    // the debugger off).
    void (*optimize_code)();

    // The compiler around the back end.
    // Value of the built-in constant ZD_Compiler_Backend (x64 0, C 1).
    int32_t backend_constant;
    // Messages that this back end words its own way, ended by number 0:
    // they stand for the table's English texts (a catalog may still
    // replace them).
    const MessageText* own_message_texts;
    // The banner line and the version field of the standby STARTING line.
    const char* banner;
    const char* standby_version;
    // The generated file's name in the work folder ("zandrel.asm",
    // "zandrel.c").
    const char* program_file_name;
    // Writes the generated file (`preprocessed`: the /PREPROCESS output).
    void (*write_program_file)(const char* path, int preprocessed);
    // Builds the program from the written file in the work folder.
    void (*build_program)();
    // /REASM: rebuilds the program from the kept generated file.
    void (*reassemble_program)();
    // The line that ends the per-compilation reset (x64 ";", C "//").
    const char* reset_line;
    // 1 when a '!' line is C (it keeps its ';' and never continues) and
    // EnableASM/DisableASM are refused (error 355).
    int32_t inline_lines_are_c;
    // The line of a code label, named in the back end's form (x64
    // "<name>:"; C a label with a statement after it that keeps its
    // address its own).
    void (*emit_code_label)(const char* name);
    // 1 when a Goto inside a procedure may jump to a label of the main code
    // or of the module around it (x64: one assembly file of labels); 0 when
    // a label belongs to its function (C), so that such a Goto finds no
    // label (error 101).
    int32_t outer_label_jumps;
    // What joins a module's name to its labels' names (x64 "."; C names
    // take "$").
    const char* label_module_separator;
    // EndModule: the names of a module's procedures that fell back to the
    // module's labels (the module_label_references of that module).
    void (*emit_module_label_aliases)(const char* module);
    // A source line or text as a comment of the generated file (commented
    // mode; the caller has checked the mode and the output state).
    void (*emit_comment)(const char* text);

    // Interface method calls (frontend/interface_calls.h).
    const struct InterfaceCallHooks* interfaces;
};

extern const BackendHooks* backend;

void install_backend(const BackendHooks* hooks);
