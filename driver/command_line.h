// The command line of the compilers: option defaults, the switch table, the
// quick help and the messages for missing file names.
#pragma once

// Sets every option to its default, then reads the arguments (argv[0] is the
// program and is skipped). Returns 1 to go on, 0 to stop; every stop has
// printed its message.
int parse_command_line(int argc, char** argv);

// Sets the option globals to their defaults (the first step of the parse).
void set_default_options();

// Prints the quick help.
void print_help();
