// Named enumerations and the Enumeration header.
#pragma once

// The rest of an Enumeration/EnumerationBinary line (optional name, start, step).
void parse_enumeration_header();
// EndEnumeration: forgets the named enumeration and its module scope.
void end_named_enumeration();
// One constant line of an Enumeration body.
void compile_enumeration_constant_line();
