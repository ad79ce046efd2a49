// The whole C file around the compiled code: file head, declarations,
// runtime prototypes, string table, program parameters, entry function with
// its start-up code, the exit function, DllMain, library init and end calls
// and the library command prototypes.
#pragma once

#include <string>

struct LibraryRecord;
struct LibraryCommand;
struct ProcedureRecord;

// Writes the header buffer's part up to the entry function's start-up lines
// into the current output buffer.
void c_generate_program();
// The file head: comment block, pragma, fixed typedefs, externs, globals.
void c_emit_header();
// Prototypes of the runtime routines the program calls.
void c_emit_runtime_prototypes();
// "static unsigned short _S<n>[]={...,0};" per literal (string manager only).
void c_emit_string_table();
// The rest of the entry function's start-up code: debugger start, library
// inits, Static and global initialisations, the thread object, Runtime.
void c_emit_startup_tail();
// After the main code: the end of the entry function and SYS_Quit.
void c_emit_sys_quit();

// DllMain with the four optional entry procedures (each may be null).
void c_emit_dllmain(ProcedureRecord* attach_thread, ProcedureRecord* detach_thread, ProcedureRecord* attach_process,
                    ProcedureRecord* detach_process);
void c_emit_library_init_calls(LibraryRecord* library);
void c_emit_library_end(LibraryRecord* library);

// Declarations of the used library commands.
void c_emit_library_externs();
void c_emit_library_prototype(LibraryCommand* command, const char* s1, const char* s2, const char* s3);
// /DYNAMICCPU: a used command with processor variants is called through
// the pointer "zdf_<name>" (defined after the library declarations), which
// zd_dynamicfunctions (the jump table, written before the entry function)
// sets at start-up, after the libraries' init calls, to the best variant
// that the processor runs (SYS_ProcessorFeatures), else the plain routine.
void c_emit_dynamic_function_pointers();
void c_emit_dynamic_jump_table();
void c_emit_dynamic_function_selection();

// The declarations of the used system functions and Import-block
// functions, bound to their link symbols.
void c_emit_import_externs();
// The module-definition text of a DLL: "EXPORTS" and one line
// "<Name>"=<C name> per exported procedure.
std::string c_export_definitions();
// "typedef <result> (*p<C name>)(<types>);" per prototype of the program
// that the prototypes block does not type already.
void c_emit_prototype_typedefs();
// "extern <type> <name> asm("<symbol>");" per imported variable (after the
// structure declarations, which may type them).
void c_emit_imported_variables();

// A folder or file path in the form a program under wine takes
// (program_side_path) as the text of a C string literal: the form of every
// path in the debugger's tables.
std::string c_source_path_literal(const std::string& folder);
// Value of the ZD_OpenGLSubsystem parameter from the /SUBSYSTEM names.
int c_opengl_subsystem_value();
