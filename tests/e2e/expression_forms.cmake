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
