// Data, Read, Restore, Swap and IncludeBinary in the C file: the values of
// Data lines become bytes of the zd_data array (one "," between any two
// values), Read and Restore move zd_datapointer, and the labels declared in
// a DataSection become offsets into zd_data.
#pragma once

#include <cstdint>
#include <string>

struct DataHooks;

// The table installed as `backend->data` by the C back end.
extern const DataHooks c_data_hooks;

// Per compilation (c_backend_reset): nothing written to the data array yet.
void c_reset_data_statements();

// The front end writes a data label as the text "name:\n" into the data
// buffer. Every such line written since the last value is taken out again
// and its label receives the current data offset. Called before each value
// written, at each line marker and before the label macros are written.
void c_settle_data_labels();

// The C name of a label's address ("la_l_x") from its assembly name.
std::string c_label_address_name(const char* label);
