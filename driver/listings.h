// Listing run modes: files about the loaded libraries and residents, and the
// test program that calls every library command. Each returns 1 on success.
#pragma once

int write_test_file();              // /CREATETESTFILE into test_file
int write_structure_list_file();    // /LISTSTRUCTURES into output_file
int write_interface_list_file();    // /LISTINTERFACES into output_file
int write_function_list_file();     // /LISTFUNCTIONS into output_file
int write_structure_file();         // /QUERYSTRUCTURE into output_file

// The FUNCTIONLIST answer of standby mode without its end line: the same
// lines as the /LISTFUNCTIONS file, on standard output.
void write_standby_function_list();
// The STRUCTURELIST and INTERFACELIST answers without their end line: the
// count line, then the names "%s\n" of the structures that are interfaces (1)
// or are not (0), hash order.
void write_standby_structure_list(int interfaces);
// The STRUCTURE and INTERFACE answers without their end line: the definition
// lines of a structure (interface when `interfaces_only` is 0 and the name is
// an interface, or when it is 1); nothing for an unknown name.
void write_standby_structure(const char* name, int interfaces_only);
