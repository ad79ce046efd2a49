// DataSection values (Data, Data$), Read and Restore through the data
// pointer, Swap of two values and IncludeBinary. The text is written by the
// back end through `DataHooks`.
#pragma once

#include <cstdint>

// The back end's data and Read emitters.
struct DataHooks {
    // The start label of the DataSection contents (first Data of a compilation).
    void (*emit_data_start_label)();
    // One Data statement: its directive line is opened, the values are
    // appended one by one, and the line is closed.
    void (*begin_data_line)(int32_t type);
    void (*append_data_number)(int64_t value);
    // A float or double value (TYPE_FLOAT or TYPE_DOUBLE).
    void (*append_data_real)(double value, int32_t type);
    // A literal string written inline: UTF-16 units for String and Unicode,
    // bytes for Ascii, then a terminating 0.
    void (*append_data_literal)(int32_t type, const char* text, int64_t length);
    // An address given by its symbol (a label).
    void (*append_data_symbol)(const char* symbol);
    // The address of a procedure ("@Proc()") and of interned literal
    // `number` ("@\"text\"").
    void (*append_data_procedure)(struct ProcedureRecord* procedure);
    void (*append_data_literal_label)(int32_t number);
    void (*end_data_line)();
    // Read: the next value of type/size from the data pointer into the
    // target (operand text, access size, operand flags), then the pointer
    // advances by the size.
    void (*emit_read_data_number)(int32_t item_type, int32_t item_size, const char* target, int32_t target_size,
                                  uint32_t target_flags);
    // Read$: the string at the data pointer into the string variable, then
    // the pointer skips it.
    void (*emit_read_data_string)(const char* target, int32_t fixed_length);
    // Restore: the data pointer takes the label's address.
    void (*emit_restore_data_pointer)(const char* symbol);
    // Swap: the first element's address kept on the machine stack when the
    // second element could move the registers it is addressed by.
    void (*emit_swap_save_address)(const char* operand);
    // The exchange of the current operand with the first element (its text,
    // or null when its address was saved).
    void (*emit_swap)(const char* first, int32_t size);
    // IncludeBinary: the inclusion line of the file (into the data section
    // inside a DataSection, else into the code).
    void (*emit_include_binary)(const char* path);
};

// The data size of a value of a native type (1, 2, 4 or 8; strings and
// pointers 8), 0 for structures and containers.
int32_t data_type_size(int32_t type);
