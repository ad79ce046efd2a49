# Library command forms and declarations (included by CMakeLists.txt; each
# program is built by zdcompilerc too through the shared-program list).
# Chr() of constants joined at compile time, of variables at run time;
# literal text in front of pieces whose reading looks ahead stays in front.
add_e2e_output_program(chr_literals 127 "ABc \\342\\202\\254\\r\\n[ABc]\\r\\n[e<f<e<f]<102<7<9<1<4<f\\r\\n" /CONSOLE)
# Names written with '$' as strings (parameters, arrays, lists, Define$,
# Global$, Protected$, Procedure$, Declare$), a long against a constant
# beyond 32 bits, Defined() of arrays, lists and maps.
add_e2e_program(dollar_names 255 /CONSOLE)
# Inline assembly naming variables and a procedure's locals (x64 only: the
# C back end has no assembly lines).
add_e2e_test(e2e_program_inline_asm_variables sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
  ${E2E_PROGRAMS}/inline_asm_variables.zd 168 /CONSOLE)
# With the purifier's checks, which must leave the registers of the
# assembly lines alone.
add_e2e_test(e2e_program_inline_asm_variables_purifier sh ${E2E_DIR}/run_program.sh ${ZDCOMPILER}
  ${E2E_PROGRAMS}/inline_asm_variables.zd 168 /CONSOLE /DEBUGGER /PURIFIER)
