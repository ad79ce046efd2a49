// The DataSection of the C file: every Data value and every IncludeBinary
// file becomes bytes of one array "zd_data" in the data buffer, read through
// the pointer zd_datapointer. Addresses (literals, procedures, labels) are
// eight zero bytes and a pointer fixup applied at start-up (or at procedure
// entry for a label of a procedure).
#pragma once

#include <cstdint>
#include <string>

struct ProcedureRecord;

// Per compilation (c_backend_reset): no data written, no static block open,
// no referenced procedure labels.
void c_reset_program_blocks();

// Opens the array ("unsigned char zd_data[] = {") once per compilation.
void c_begin_data_section();
// Eight bytes of the value, low first; data_offset += 8.
void c_data_quad(uint64_t value);
// 1 byte (byte, ascii), 2 (word, string, character, unicode) or 4 (long)
// bytes of the value.
void c_data_value(int32_t type, uint32_t value);
// The value as a single-precision float: 4 bytes.
void c_data_float(double value);
// A literal's characters: UTF-16 units in hexadecimal for string and unicode
// (then "0,0"), else its UTF-8 bytes (then "0").
void c_append_data_literal(int32_t type, const char* text);
// An address slot for the literal "_S<number>" ("0" for the null string).
void c_append_data_literal_label(int32_t literal_number);
// An address slot for a procedure.
void c_data_procedure_pointer(ProcedureRecord* procedure);
// An address slot for a label of the current scope ("la_" + its C name).
void c_data_label_pointer(const char* label);

// Read into the lvalue `target`: one line by type (nothing for other types).
void c_emit_read(int32_t type, const char* target);
void c_emit_read_string(const char* target);
void c_emit_read_fixed_string(const char* target, int32_t fixed_length_bytes);
// IncludeBinary in a DataSection: the file's bytes into zd_data (a file
// that can't be read is skipped).
void c_emit_include_binary(const char* path);

// The UTF-16 units of a UTF-8 text as "0x%X,0x%X," per unit (low byte
// first) and "0,0"; `count` receives the units with the terminator.
std::string c_emit_utf16_hex(const char* text, int32_t* count);
// The C name of a label of the current scope, lower-cased:
// "l_x", "m$l_x", "ll_p_x" or "m$ll_p_x".
std::string c_label_c_name(const char* label);
