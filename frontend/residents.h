// Resident files: precompiled structures, interfaces, constants, macros and
// prototypes.
#pragma once

// Loads one resident file; 0 when it cannot be opened, else 1.
int load_resident(const char* path);

// Resolves and clears the list of structure references of the loaded residents.
void resolve_resident_structure_refs();

// /RESIDENT: writes the resident file of the declarations just compiled.
void write_resident_file(const char* path);
