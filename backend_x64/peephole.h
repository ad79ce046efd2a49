// The peephole optimiser: one left-to-right pass over the finished code text
// that replaces wasteful runs of emitted lines by shorter equivalents.
#pragma once

#include <cstdint>

// Rewrites the code text at `source` (ended by a zero byte; the caller pads
// it with line feeds) into `destination`, which must have room for
// length + length / 2 + 64 bytes. Returns the end of the rewritten text.
char* optimize_asm_output(const char* source, char* destination, int64_t length);

// Runs the pass over the code buffer (the back end's optimise hook): prints
// the progress line, pads a copy of the code and rewrites it in place.
void optimize_code_buffer();
