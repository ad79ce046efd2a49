// The dialog toolkit on FLTK: what its test needs to see beyond the
// operations of dialog_toolkit.h.
#pragma once

#include <string>

// A picker pattern "Name|*.a;*.b|Other|*.c" as FLTK's filter text:
// "Name (*.{a,b})\tOther (*.c)" (a pattern given twice counts once).
std::string fltk_file_filter(const char* pattern);

// A text as an FLTK label shows it: "@" starts a symbol there, "@@" is one "@".
std::string fltk_label_text(const std::string& text);

// Spacing of a laid-out window, in pixels.
constexpr int fltk_dialog_margin = 10;
constexpr int fltk_dialog_spacing = 6;
constexpr int fltk_dialog_line_height = 25;
