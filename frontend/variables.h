// Variables and scopes.
#pragma once

#include <cstdint>

// Static (threaded 0) and Threaded (threaded 1) statements.
void compile_variable_declaration(int threaded);
