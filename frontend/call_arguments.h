// Call arguments: the argument list of one call of a procedure, prototype,
// imported function or library command. The arguments are evaluated onto
// the machine stack from the last to the first; the back end then moves the
// first four into their registers and writes the call.
#pragma once

#include <cstdint>

struct ProcedureRecord;
struct LibraryCommand;
struct InterfaceMethod;
struct VariableRecord;

constexpr int MAX_CALL_ARGUMENTS = 255;

// Kind of callee of a CallRecord.
enum : int32_t {
    CALLEE_PROCEDURE = 1,   // a procedure of the source: " CALL _Procedure<n>"
    CALLEE_PROTOTYPE = 2,   // a call through a prototype-typed value
    CALLEE_IMPORTED = 3,    // a function of an Import block
    CALLEE_LIBRARY = 4,     // a runtime library command
    CALLEE_INTERFACE = 5,   // an interface method, through the object's table
};

// Result of a call (how the value comes back).
enum : int32_t {
    CALL_RESULT_INTEGER = 0,
    CALL_RESULT_FLOAT = 1,
    CALL_RESULT_DOUBLE = 2,
    CALL_RESULT_STRING = 3,
    CALL_RESULT_QUAD = 4,
};

// One call being compiled; made by the caller, filled by
// compile_call_arguments and read by the back end's call emitters.
struct CallRecord {
    int32_t callee_kind;
    ProcedureRecord* procedure;     // procedure, prototype or imported function
    LibraryCommand* command;        // library command
    const char* name;               // for messages
    VariableRecord* prototype_variable;  // a call through a prototype-typed variable
    const char* target_text;        // or through this value (a field), pushed below the arguments
    int32_t parameter_count;
    int32_t optional_count;
    const int64_t* default_values;  // one per optional parameter
    uint8_t parameter_types[MAX_CALL_ARGUMENTS + 1];
    int32_t argument_count;         // arguments written in the source
    int32_t result;                 // CALL_RESULT_*
    uint32_t result_flags;          // flags and second flags of the callee (result widening)
    uint32_t result_second_flags;
    // Filled while the arguments are compiled.
    int32_t start_depth;            // push depth before the first byte of the call
    int32_t pad;                    // alignment pad in bytes
    int32_t pseudo_count;           // pseudo-type slots below the pad
    int32_t slot_count;             // argument slots pushed (hidden string base included)
    int32_t saved_fpu;              // x87 values saved around the call
    // Strings: the prescan found an argument that is built on the string
    // stack (its space is given back after the call); the back end saved
    // the write position for the call; the argument being pushed; the
    // argument slots that hold a string-stack offset until the list is
    // complete (made addresses before the register loads).
    int32_t string_stack_arguments;
    int32_t saved_string_position;
    int32_t argument_index;
    uint8_t offset_arguments[MAX_CALL_ARGUMENTS + 1];
    // Interface methods: the method, its 1-based table slot, the object's
    // variable, or (null) the push depth just after the object was pushed.
    // The object takes the first register position, counted in slot_count.
    const InterfaceMethod* method;
    int32_t method_slot;
    VariableRecord* object_variable;
    int32_t object_depth;
};

// Forgets the argument lists kept for a second reading: at the start of a
// statement, whose text may stand where another's stood.
void forget_kept_prescans();
// Dry run over an argument list (the token is "(" and the parse pointer just
// after it): records the start of each argument and returns the count; the
// parse state is put back. Error 1 when an argument is not followed by ","
// or ")", error 49 when the list has no ")". `string_stack`, when given, is
// set to 1 when an argument leaves a temporary on the string stack (or is a
// fixed string, which is copied there).
// `types` (library commands): the parameter codes the list is read for; an
// argument for a structure kind is a structure type name, and one for a
// kind that fills two entries (a structure, or a "then" kind) gets its start recorded
// twice, the count including both.
int prescan_call_arguments(char** starts, int capacity, const char* name, int32_t* string_stack = nullptr,
                           const uint8_t* types = nullptr, int32_t type_count = 0);
// The prescan of a library command's list, which also picks the form whose
// parameters the list fills (the command's own, else an alternative form);
// the record is described for that form. Returns the count.
int prescan_library_arguments(CallRecord* call, char** starts);

// Fills the callee's parameters of a call record.
void describe_procedure_call(CallRecord* call, ProcedureRecord* procedure, int32_t kind);
void describe_library_call(CallRecord* call, LibraryCommand* command);

// Count check, pad, defaults, the arguments from the last to the first with
// their type checks, pushes and the register loads. `starts` holds
// argument_count + 1 entries (the last one: the end of the list). On return
// the parse pointer is after the ")" and the token after it is read.
void compile_call_arguments(CallRecord* call, char** starts);

// The whole call of a callee whose name was read and whose token is "(":
// prescan, arguments, the call through the back end; the current operand
// becomes the result.
void compile_call(CallRecord* call);

// A call through a variable typed by a prototype (the token is "(").
void compile_prototype_call(VariableRecord* variable);
// A call through the value named by `target_text` (a field typed by the
// prototype; the token is "("). The value is kept on the machine stack
// while the arguments are compiled.
void compile_prototype_value_call(ProcedureRecord* prototype, const char* name, const char* target_text);

// A library command called by name (the token is "(").
void compile_library_call(LibraryCommand* command);

// The command is used by this call: its use count and library, and the
// deprecation warning at the first use.
void note_library_command_use(LibraryCommand* command);

// The name just read is followed by "(": a procedure or a library command
// is called and 1 returned; 0 when the name is neither (nothing consumed).
int compile_named_call(const char* name);
