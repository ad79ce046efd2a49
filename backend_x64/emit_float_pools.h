// The float and double constant pools: constants that x87 code reads from
// memory, each value once, under the labels "F<n>" and "D<n>".
#pragma once

#include <cstdint>

// Creates both pools empty (per compilation).
void create_float_pools();
// The label of the value's entry, in a static buffer per pool. While output
// or errors are suppressed the pool is not touched and the last label is
// returned.
const char* intern_float_constant(float value);
const char* intern_double_constant(double value);
// Writes the alignment line and one "dd" line per entry.
void emit_float_pools();
int float_pool_count();
int double_pool_count();
