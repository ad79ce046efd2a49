// Global state of the source front end and the statement compiler, grouped
// here so that a reader finds it in one place. Each section names the file
// that implements it.
#pragma once

#include <cstdint>
#include <string>

#include "core/core_globals.h"

struct CursorList;

// ---------------------------------------------------------------------------
// Source position (source driver; reset by compile_state_init in
// driver/compiler_main.cpp). The values the error report reads (the current
// line and its continuation starts, the include depth and name, the error's
// include line and file) are in core/core_globals.h.

extern char* current_source_file;       // full name of the file being read ("" between compilations)
extern int64_t longest_line;            // longest logical line seen so far, in bytes
extern int32_t total_lines;             // physical lines read in all files of the compilation
extern int32_t progress_line_counter;   // logical lines since the last progress report
extern int32_t source_is_utf8_bom;      // 1 when the file being read began with a UTF-8 byte-order mark
extern int32_t included_file_count;     // include files read in this compilation
extern int32_t current_file_index;      // 0 for the main source, else the include file's sequence number
extern std::string include_directory;  // folder set by IncludePath, empty at each file start
extern CursorList* IncludeFileList;     // names of all included files, in order (compilation heap)
extern CursorList* front_end_list;      // the second per-compilation list created with IncludeFileList

// Bytes after which a line break may continue the logical line: + , | R r D d
extern uint8_t continuation_candidate_chars[256];

// ---------------------------------------------------------------------------
// Lexer state (frontend/lexer.cpp). Its read position `parse_pointer`, where
// the error state records an error, is in core/core_globals.h.

extern char statement_word[130];        // word of the last step: 128 characters, '$', NUL; as written
extern int32_t word_has_dollar;         // 1 when the word ended with '$'
extern int32_t token_code;              // TokenCode of the operator read after the word
extern int32_t token_precedence;        // its operator_precedence entry, or -1
extern uint8_t more_statements;         // the token ended the statement and another one follows
extern int64_t literal_length;          // -1 when the step read no string literal, else bytes in literal_text
extern int32_t escape_mode;             // a '~' stood before the string literal being read
extern char literal_text[8192 + 8];     // literal text buffer (8192 bytes + room for one converted character)
extern char* literal_write_pointer;     // end of the gathered literal text

// Bytes that may begin a statement (statement dispatcher): NUL, 0x01, ! # * : ; letters and _
extern uint8_t statement_start_chars[256];

// ---------------------------------------------------------------------------
// Statement state (frontend/statement_dispatcher.cpp). Reset before each
// compilation by reset_statement_state.

extern char* statement_start;           // where the current statement begins
extern int32_t expansion_pending;       // the statement comes from a macro expansion with more statements
extern int32_t macro_capture_mode;      // a Macro body is being captured up to EndMacro
extern int32_t in_structure;            // inside Structure ... EndStructure
extern int32_t in_interface;            // inside Interface ... EndInterface
extern int32_t in_datasection;          // inside DataSection ... EndDataSection
extern int32_t in_enumeration;          // 1 inside Enumeration, 2 inside EnumerationBinary
extern int32_t in_import;               // inside Import ... EndImport
extern int32_t in_with;                 // a With block is open
extern int32_t in_procedure;            // a Procedure definition is open
extern int32_t inline_asm_enabled;      // EnableASM in force
extern int32_t explicit_enabled;        // EnableExplicit in force
extern int32_t line_markers_suppressed; // Enumeration and Import bodies write no line markers
extern uint32_t procedure_kind_flags;   // kind flags of the procedure statement being dispatched

// ---------------------------------------------------------------------------
// Built-in constants whose values the front end keeps up to date; the
// records are made by declare_builtin_constants (driver/compilation_driver.cpp).

struct ConstantRecord;
extern ConstantRecord* constant_compiler_file;          // ZD_Compiler_File
extern ConstantRecord* constant_compiler_file_path;     // ZD_Compiler_FilePath
extern ConstantRecord* constant_compiler_filename;      // ZD_Compiler_Filename
extern ConstantRecord* constant_compiler_home;          // ZD_Compiler_Home
extern ConstantRecord* constant_compiler_procedure;     // ZD_Compiler_Procedure
extern ConstantRecord* constant_compiler_module;        // ZD_Compiler_Module
extern ConstantRecord* constant_compiler_line;          // ZD_Compiler_Line
extern ConstantRecord* constant_compiler_enumeration_value;  // ZD_Compiler_EnumerationValue
extern ConstantRecord* constant_compiler_inline_assembly;    // ZD_Compiler_InlineAssembly
extern ConstantRecord* constant_compiler_enable_explicit;    // ZD_Compiler_EnableExplicit
extern ConstantRecord* constant_compiler_is_main_file;       // ZD_Compiler_IsMainFile
extern ConstantRecord* constant_compiler_is_include_file;    // ZD_Compiler_IsIncludeFile

// ---------------------------------------------------------------------------
// Enumerations (frontend/enumerations.cpp; EnumerationRecord in
// frontend/enumerations.h) and the Runtime statement's flag
// (frontend/other_statements.cpp).

struct EnumerationRecord;
struct HashTable;
extern HashTable* enumeration_table;            // global enumerations (permanent heap; user entries purged)
extern EnumerationRecord* current_enumeration;  // the open block's record, null outside a block
extern int32_t runtime_statement_flag;          // the statement follows "Runtime" on its line
extern int32_t debug_level;                     // set by DebugLevel; 0 at each compilation
extern int32_t data_section_label_written;      // "ZD_DataSectionStart" is in the data buffer

// ---------------------------------------------------------------------------
// Macro tables (frontend/macros.cpp; MacroRecord in frontend/macros.h).

struct HashTable;
struct MacroRecord;
extern HashTable* macro_table;           // global macros (permanent heap; user entries purged between compilations)
extern HashTable* resident_macro_table;  // ResidentMacroReference: the macros loaded from residents
extern MacroRecord* macro_being_defined; // the macro whose body is being captured

// ---------------------------------------------------------------------------
// Modules (frontend/modules.cpp; ModuleRecord in frontend/modules.h). Per
// compilation.

struct ModuleRecord;
extern HashTable* module_table;          // ModuleRecord by name, ".Main" included
extern ModuleRecord* main_module;        // ".Main": its slots point to the global tables
extern ModuleRecord* current_module;     // the open DeclareModule or Module section, else null
extern ModuleRecord* explicit_module;    // set by "name::", consumed by the next lookup
extern CursorList* modules_in_use;       // ModuleUse: the global list, or the open module's own

// ---------------------------------------------------------------------------
// Operand state and register allocation (frontend/operand_state.cpp).

#include "frontend/operand_state.h"

extern CurrentOperand current_operand;   // what is known about the value computed so far
extern RegisterStack register_stack;     // the evaluation-register allocator
extern uint32_t expression_mode;         // wanted arithmetic of the expression (MODE_*)

// ---------------------------------------------------------------------------
// Expression compiler (frontend/expressions.cpp).

extern int32_t condition_index;          // comparison of the last condition: <> 0, = 1, <= 2, >= 3, < 4, > 5
extern int32_t comparisons_allowed;      // the expression may hold comparisons (EXPR_CONDITION)
extern int32_t parentheses_depth;        // "(" opened and not yet closed
extern int32_t expression_finished;      // a constant declaration or an assignment ended the statement
extern int32_t previous_token;           // token code before the current operand

// ---------------------------------------------------------------------------
// Blocks and conditions (frontend/blocks.cpp, frontend/conditions.cpp). Reset
// by reset_block_state before each compilation.

struct VariableRecord;

constexpr int max_block_depth = 1024;

// Kinds of the open blocks.
enum BlockKind : uint8_t {
    BLOCK_NONE = 0,
    BLOCK_IF = 1,
    BLOCK_WHILE = 2,
    BLOCK_REPEAT = 3,
    BLOCK_SELECT = 4,   // a Select without Case yet
    BLOCK_FOR = 5,
    BLOCK_ELSE = 6,
    BLOCK_CASE = 7,
    BLOCK_DEFAULT = 8,
    BLOCK_FOREACH = 9,
};

// Block flags.
enum : uint8_t {
    BLOCK_FLAG_CONTINUE = 1,   // a Continue targets this Repeat
    BLOCK_FLAG_ELSE = 2,       // the If has an Else
    BLOCK_FLAG_ELSEIF = 4,     // the If has an ElseIf
};

struct BlockLevel {
    uint8_t kind;
    uint8_t flags;
    int32_t label;             // label number of the level
    VariableRecord* counter;   // the For counter (or the ForEach container)
    int64_t step;              // the For step
};

struct BlockStack {
    int32_t depth;
    BlockLevel levels[max_block_depth];
};

// Select flags.
enum : int32_t {
    SELECT_FLAG_STRING_BASE = 1,   // the selector keeps a raised string base position
    SELECT_FLAG_WIDE = 2,          // a quad selector
    SELECT_FLAG_STRING = 4,        // a string selector
    SELECT_FLAG_FLOAT = 8,         // a float or double selector: the Cases compare as floats
    SELECT_FLAG_DOUBLE = 16,       // with SELECT_FLAG_FLOAT: in double precision
};

struct SelectLevel {
    int32_t end_label;        // _EndSelect number
    int32_t pending_case;     // _Case number a failed Case jumps to (0: none yet)
    int32_t size;             // the selector's operand size
    int32_t flags;
    int32_t stack_depth;      // the back end's push depth with the selector pushed
};

struct SelectStack {
    int32_t depth;
    SelectLevel levels[max_block_depth];
};

extern BlockStack block_stack;
extern int32_t if_end_labels[max_block_depth];  // _EndIf number of each open If
extern int32_t if_depth;
extern SelectStack select_stack;
extern int32_t label_counter;            // If, While, Repeat, For and ForEach labels (last given)
extern int32_t select_label_counter;     // _EndSelect labels
extern int32_t case_label_counter;       // _Case labels
extern int32_t case_range_counter;       // _CaseTo labels
extern int32_t condition_label_counter;  // No/Ok/End labels of conditions
extern int32_t case_value_depth;         // a Case value is being compiled (no logical words)
extern char with_base_text[1024];        // the expression after With

// ---------------------------------------------------------------------------
// Variables and scopes (frontend/variables.cpp). Per compilation.

#include "frontend/symbols.h"

extern HashTable* variable_table;        // the global variable table (locals carry "+")
extern CursorList* data_item_list;       // DataItem: Static objects of procedures
extern CursorList* init_item_list;       // InitItem: objects initialised at program or thread start
extern int32_t global_data_offset;       // bytes of the global data area
extern int32_t local_frame_offset;       // frame bytes of the current procedure (40 at each Procedure)
extern int32_t thread_local_offset;      // bytes of the per-thread object
extern int32_t declaration_mode;         // DECLARE_* of the statement being compiled
extern int32_t pointer_flag;             // the name being resolved was written as *name
extern CurrentType current_type;         // the type last read by parse_field_type
extern CurrentType default_type;         // the type of untyped new variables
extern VariableRecord* current_variable; // the variable last resolved
extern char current_procedure_name[130]; // name of the open procedure (set by the Procedure statement)
extern int32_t current_procedure_id;     // its number (frame equate "PS<n>")
extern int32_t structures_need_init;     // an init item of a structure with dynamic content exists
extern int32_t strings_used;             // an init item of a string exists
extern int32_t init_items_exist;         // register_init_item was called

// ---------------------------------------------------------------------------
// Arrays, lists and maps (frontend/arrays.cpp, frontend/lists_maps.cpp). Per
// compilation; a module's own lists hang on its ModuleRecord.

extern CursorList* array_list;           // ArrayRecord: the main scope's arrays
extern int32_t element_address_saved;    // an array element target's address is on the machine stack
extern CursorList* list_list;            // ListRecord: the main scope's lists
extern CursorList* map_list;             // MapRecord: the main scope's maps

// ---------------------------------------------------------------------------
// Procedures (frontend/procedures.cpp; ProcedureRecord in frontend/symbols.h).
// Per compilation.

extern HashTable* procedure_table;       // global procedures (a module's own sit in its record)
extern int32_t procedure_id_counter;     // id of the next procedure ("_Procedure<id>"), by 2

// ---------------------------------------------------------------------------
// Structures, interfaces and residents (frontend/structures.cpp,
// frontend/interfaces.cpp, frontend/residents.cpp). The tables live on the
// permanent heap; entries not loaded from a resident are purged between
// compilations.

struct StructureRecord;
struct InterfaceMethod;
extern HashTable* structure_table;           // global structures and interfaces
extern HashTable* resident_structure_table;  // StructureIndexEntry: the residents' structures by name
extern int32_t structure_id_counter;         // id of the next structure
extern int32_t structure_id_base;            // first id after the resident structures
extern InterfaceMethod* interface_methods;   // methods of the interface being declared
extern int32_t interface_method_room;        // entries interface_methods holds
extern int32_t interface_method_count;
extern HashTable* prototype_table;           // ProcedureRecord: global prototypes
extern HashTable* resident_prototype_table;  // PrototypeIndexEntry: the residents' prototypes by name
extern CursorList* resident_structure_refs;  // StructureReference: structure names of residents to resolve

// ---------------------------------------------------------------------------
// Libraries and the command table (frontend/libraries.cpp). Permanent heap;
// loaded once at start-up and kept across standby compilations.

struct HashTable;
extern CursorList* library_list;          // every loaded LibraryRecord, in load order
extern CursorList* library_command_list;  // LibraryCommand: compiler functions, then by name
extern HashTable* library_command_hash;   // the commands by name (of the compiler functions only Subsystem)
extern CursorList* used_library_list;     // elements: link + LibraryRecord*, the libraries to link, in order
extern CursorList* loaded_library_names;  // elements: link + char*, file names loaded once (any case)
extern CursorList* loaded_import_names;
extern CursorList* loaded_resident_names;
