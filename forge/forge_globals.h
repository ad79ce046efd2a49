// Global state of Zandforge, the library builder, grouped in one place.
// Each section names the file that implements it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Program state (forge_program.cpp).

// Folders, used with a trailing separator; empty means the current folder.
extern std::string SourcePath;
extern std::string DestinationPath;
// The descriptor being processed, as named.
extern std::string DescFile;
// The library name: the descriptor's file name without ".desc", first letter upper case.
extern std::string LibName;
// Options word written to the library header (bit 0: compress the object data).
extern uint32_t ForgeOptions;
// Batch mode: warnings of WarnOrLog go to the log instead of message boxes.
extern bool BatchMode;
extern bool ProcessAllFlag;
extern bool NoLogFlag;
extern bool NoUnicodeWarningFlag;
// Set by every error of the current descriptor; nothing is written then.
extern bool ErrorFlag;
// Set when a descriptor of the run failed (an error, or a library written
// without its main object) or a folder could not be read; batch mode then
// exits with 1.
extern bool RunFailed;
// The log file, appended to one line at a time.
extern std::string LogFileName;

// ---------------------------------------------------------------------------
// Descriptor parser state (descriptor_parser.cpp).

// One function of the descriptor.
struct ForgeFunction {
    std::string name;
    uint32_t flags = 0;
    std::string help;                     // from the first "(" of the definition line, or empty
    std::vector<uint8_t> argument_types;  // argument codes, extra bytes included
};

struct DescriptorState {
    uint8_t language = 0;                        // 1 C, 2 ASM
    uint8_t object_type = 0;                     // 1 OBJ, 2 LIB
    std::vector<std::string> link_libraries;     // system libraries for the link line
    std::vector<std::string> needed_libraries;   // libraries this one needs
    std::string help_line;                       // the library's help directory
    std::vector<ForgeFunction> functions;         // sorted by lower-cased name, variants after their base

    // Line reader.
    std::string text;       // the whole descriptor
    size_t position = 0;    // next raw line
    int line_number = 0;    // raw lines read so far

    // Conditional blocks.
    bool active = true;
    std::vector<bool> saved_active;

    // The definition being parsed.
    bool uses_strings = false;
    bool no_unicode = false;
    int variant_counter = 1;
};

extern DescriptorState Descriptor;
// Constants given with /CONSTANT, upper-cased.
extern std::vector<std::string> DefinedConstants;
