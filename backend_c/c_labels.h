// Labels of the C file as macros. A code label's address is gcc's "&&label"
// (valid inside the function that holds it); a data label is its offset into
// zd_data and the address of that byte. The macros are written into the file
// head after "unsigned char zd_data[];".
#pragma once

#include <cstdint>

struct TextBuffer;

// "#define la_<name> (&&<name>)" per code label, and "#define <name> <offset>"
// with "#define la_<name> (&zd_data[<offset>])" per data label, of the main
// code and of every module.
void c_emit_label_address_defines();
// The same for the procedure labels that a reference inside their procedure
// found (c_referenced_procedure_labels).
void c_emit_label_defines();
// A procedure's reference that fell back to a label of the main code.
void c_emit_label_aliases();
// At EndModule: the module's fallen-back references, into the deferred
// declarations.
void c_labels_emit_module(const char* module);

// Records a procedure label that a reference inside its procedure found
// (data label: LABEL_DATA and its offset into zd_data).
void c_add_referenced_procedure_label(const char* module, const char* procedure, const char* name, uint16_t flags,
                                      int32_t data_offset);
// At EndProcedure, before the front end forgets them: every label of the
// procedure, for the defines that Restore and "?label" inside it name.
void c_keep_procedure_labels();
// The buffer of declarations written before the procedures' code (module
// label aliases, the procedures' debugger tables).
TextBuffer* c_deferred_declarations_buffer();
