// The whole assembly file around the statement code: the head with its
// comment block and external declarations, the three macros, the entry
// point and start-up code, the end code, the data section with the
// compiler-fixed values and the static strings, and the bss section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LibraryRecord;

// A literal string of the program: its 1-based number and UTF-8 text.
struct StaticStringEntry {
    int32_t number;
    std::string text;
};

// A global variable as the bss writer reserves it.
struct BssVariable {
    std::string symbol;
    int32_t size;
};

// Inputs that the front end hands over before the program is finished: the
// interned literals in table order (with the number of the null string, -1
// when none) and the global variables of every module.
extern std::vector<StaticStringEntry> program_literal_strings;
extern int32_t null_literal_number;
extern std::vector<BssVariable> program_global_variables;
// The global arrays of every module (size: 8 bytes per slot), written by
// emit_array_labels apart from the variables.
extern std::vector<BssVariable> program_array_labels;
// The heads of the global lists of every module, then those of their maps
// (size: 16 for a list, 8 for a map), reserved after the arrays.
extern std::vector<BssVariable> program_container_labels;

// A Static variable of a procedure: label "so_<procedure>.<name>", size in
// bytes, TypeCode (0xFF for a structure) and initial value. Only live items
// (their procedure is used, exported or the debugger is on) are handed over.
// A string item without an initial value gets no start-up assignment.
struct StaticDataItem {
    std::string label;
    int32_t size;
    uint8_t type;
    int64_t value;
    bool initialised = true;
    void* object = nullptr;     // the VariableRecord, ArrayRecord, ListRecord or MapRecord
};
extern std::vector<StaticDataItem> program_data_items;

// Marks of the program as a whole (reset per compilation): Threaded
// objects exist, with the bytes of one thread's block; a DataSection was
// compiled; Runtime declarations exist. `strings_used` (front end) is
// settled here too from the called routines, the code and the literals.
extern int32_t strings_used;
// Sets strings_used when a string routine was called, a literal is written
// or the code names the string stack or a static string ("_S<digit>").
void settle_strings_used();
extern int32_t threaded_items_used;
extern int64_t threaded_object_size;
extern int32_t data_section_used;
extern int32_t runtime_declarations_used;

// Per compilation: the set of declared external names and the inputs above.
void reset_program_output();

// Appends to the global variables and the Static items above what the front
// end's variable tables and data-item list hold (backend_x64/program_inputs.cpp).
void collect_program_inputs();
// A Static item is written (its procedure is used, the debugger is on, ...).
struct DataItem;
bool item_is_live(const DataItem* item);

// Writes "extrn <name>" unless the name was declared before in this
// compilation (fasm stops at a repeated extrn). Returns whether it wrote.
bool declare_extern(const char* name);

// The commented-mode comment block, "format MS64 COFF" and the extrn lines
// of the imported and library functions.
void write_asm_header();
// The extrn lines of the runtime routines the emitters called.
void emit_runtime_externs();
// The library commands the program calls.
void emit_library_externs();
// /DYNAMICCPU: "f_<name>: dq <routine>" for each used command that has
// processor variants; the calls go through these qwords.
void emit_dynamic_jump_table();
// /DYNAMICCPU, in the start-up code after the libraries' init calls: each
// table entry gets the routine of the best variant the processor runs
// (SYS_ProcessorFeatures), the plain routine when it runs none.
void emit_dynamic_function_selection();

void emit_program_start();
void emit_program_end();
void emit_library_init_calls(LibraryRecord* library);
void emit_library_end_calls(LibraryRecord* library);
void emit_static_strings();
// After the end: extrn lines for routines first called by the writers that
// run after the head (global initialisations, release callbacks).
void emit_late_runtime_externs();

// Data and bss (backend_x64/program_output_data.cpp).
void emit_module_variables();
void emit_initialised_data_items(int32_t size);
void emit_data_items();
void emit_global_inits();
// Start-up: the dynamic fields of the global structure variables.
void emit_global_structure_inits();
// With the purifier: "PMG:" and the address of every global variable's
// guard, ended by 0 (into the data-section buffer).
void emit_purifier_global_map();

// A folder as a path that wine resolves (program_side_path), written as
// the operand of a "db" line (its UTF-8 bytes) ...
std::string format_source_path_data(const std::string& folder);
// ... and of a "dw" line (its UTF-16 units, ended by 0): _ZD_SourceCodePath,
// which the program hands to SetCurrentDirectoryW.
std::string format_source_path_units(const std::string& folder);

// The finishing steps after a successful compilation (the back-end hook):
// start-up, initialisations, end code with data and bss.
void finish_x64_program();
