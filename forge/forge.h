// Zandforge: turns a library descriptor plus the library's object files into
// a library file that the compilers load at start.
#pragma once

#include "forge/forge_globals.h"

#include <string>

// ---------------------------------------------------------------------------
// Program (forge_program.cpp).

// Puts every global of the program and the parser into its start state.
void InitForge();
// Reads the command line (argv[1..]); returns true when a descriptor was named.
bool ParseForgeCommandLine(int argc, char** argv);
// The whole program after the toolkit start; returns the exit code.
int RunForge(int argc, char** argv);
void ProcessDescriptor();
void ProcessAllDescriptors();
void WriteLog(const std::string& text);
// A message box; without a display it goes to standard error as "title: text".
void ShowMessage(const std::string& title, const std::string& text);

// ---------------------------------------------------------------------------
// Dialog (forge_dialog.cpp).

// Gadget numbers of the dialog.
constexpr int32_t GADGET_Source = 0;
constexpr int32_t GADGET_Destination = 1;
constexpr int32_t GADGET_ProcessAll = 2;
constexpr int32_t GADGET_Start = 3;
constexpr int32_t GADGET_Quit = 4;
constexpr int32_t GADGET_SelectSource = 5;
constexpr int32_t GADGET_SelectDestination = 6;
constexpr int32_t GADGET_Compression = 7;

// Dialog mode: preferences, the dialog and its event loop. Returns the exit
// code: 1 when the dialog can't be shown (with one line on standard error).
int RunForgeDialog();
// The dialog's XML description with the two folders as the fields' texts.
std::string BuildDialogXml(const std::string& source, const std::string& destination);
// A file picker at SourcePath; the chosen descriptor is processed.
void SelectAndProcessDescriptor();

// ---------------------------------------------------------------------------
// Descriptor parser (descriptor_parser.cpp).

void ResetDescriptorState();
void ParseDescriptor();
// Parses descriptor text already in memory (ParseDescriptor reads the file first).
void ParseDescriptorText(const std::string& text);
std::string ReadDescriptorLine();
// Returns the code of an argument keyword, or 0 after raising an error.
uint8_t ParseArgumentType(const std::string& parameter);
bool IsConstantDefined(const std::string& name);
void DefineConstant(const std::string& name);
void DescriptorError(const std::string& text);
void Warn(const std::string& text);
void WarnOrLog(const std::string& text);

// ---------------------------------------------------------------------------
// Library writer (library_writer.cpp).

// Writes DestinationPath + LibName from the parsed descriptor and the objects
// found in SourcePath.
void WriteLibrary();
// The library file's LIB4 chunk (heads included) for the parsed descriptor.
std::string BuildLibraryHeader(uint32_t options);
