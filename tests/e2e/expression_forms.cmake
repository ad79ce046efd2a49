# Expression and statement forms, each program run through both compilers
# with the same exit code (included by CMakeLists.txt).
# String Select (also thread-safe); update statements such as "n + 1".
foreach(both_pair select_strings:127 update_statements:159)
  string(REPLACE ":" ";" both_fields ${both_pair})
  list(GET both_fields 0 both_name)
  list(GET both_fields 1 both_exit)
  add_e2e_program(${both_name} ${both_exit} /CONSOLE)
  add_e2e_c_program(${both_name} ${both_name} ${both_exit} /CONSOLE)
endforeach()
add_e2e_test(e2e_program_select_strings_thread sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
  ${E2E_PROGRAMS}/select_strings.zd 127 /CONSOLE /THREAD)
add_e2e_c_program(select_strings_thread select_strings 127 /CONSOLE /THREAD)
# Addresses compared as numbers, Bool(), strings as truth values and
# numbers joined to strings at run time (also thread-safe).
foreach(mode_switch "" /THREAD)
  string(REPLACE "/" "_" mode_name "${mode_switch}")
  string(TOLOWER "${mode_name}" mode_name)
  add_e2e_test(e2e_program_addresses_values${mode_name} sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
    ${E2E_PROGRAMS}/addresses_values.zd 126 /CONSOLE ${mode_switch})
  add_e2e_c_program(addresses_values${mode_name} addresses_values 126 /CONSOLE ${mode_switch})
endforeach()
# Memory through addresses: structure pointers, which the C back end does
# not address yet (structure field access in C).
add_e2e_program(addresses_memory 33 /CONSOLE)
