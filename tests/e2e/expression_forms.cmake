# Expression and statement forms (included by CMakeLists.txt; each program is
# built by zdcompilerc too through the shared-program list).
# String Select (also thread-safe); update statements such as "n + 1".
add_e2e_program(select_strings 127 /CONSOLE)
add_e2e_program(update_statements 159 /CONSOLE)
add_e2e_test(e2e_program_select_strings_thread sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
  ${E2E_PROGRAMS}/select_strings.zd 127 /CONSOLE /THREAD)
add_e2e_c_program(select_strings_thread select_strings 127 /CONSOLE /THREAD)
# Addresses compared as numbers, Bool(), strings as truth values and
# numbers joined to strings at run time (also thread-safe).
add_e2e_program(addresses_values 126 /CONSOLE)
add_e2e_test(e2e_program_addresses_values_thread sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
  ${E2E_PROGRAMS}/addresses_values.zd 126 /CONSOLE /THREAD)
add_e2e_c_program(addresses_values_thread addresses_values 126 /CONSOLE /THREAD)
# Memory through addresses: structure pointers and fields.
add_e2e_program(addresses_memory 33 /CONSOLE)
# Structure copies (strings copied, embedded structures, procedure locals)
# and interface variables and fields as plain values.
add_e2e_program(structure_copy 63 /CONSOLE)
# Strings copied between fields and elements behind the same base register,
# and structure variables declared by a typed name alone.
add_e2e_program(string_field_copies 255 /CONSOLE)
# Field chains after elements of arrays, lists and maps; pointer elements
# and method calls on interface elements; methods of byte and word types.
add_e2e_program(element_field_chains 127 /CONSOLE)
add_e2e_program(element_methods 255 /CONSOLE)
# Static and Threaded strings with literal initial values.
add_e2e_program(static_string_values 169 /CONSOLE)
# Operand forms checked by name (a failure prints the check's name and both
# values): a negated operand in parentheses before a bitwise operator,
# constant divisions in float arithmetic, comparisons as the operands of
# operators and calls.
add_e2e_output_program(operand_values 0 "checked 29\\r\\n" /CONSOLE)
