# Library command forms and declarations (included by CMakeLists.txt; each
# program is built by zdcompilerc too through the shared-program list).
# Chr() of constants joined at compile time, of variables at run time.
add_e2e_output_program(chr_literals 63 "ABc \\342\\202\\254\\r\\n[ABc]\\r\\n" /CONSOLE)
