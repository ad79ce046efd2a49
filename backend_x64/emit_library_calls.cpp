#include "backend_x64/emit_library_calls.h"

#include <cstdio>

#include "backend_x64/emit_common.h"
#include "core/core_globals.h"
#include "forge/library_format.h"
#include "frontend/libraries.h"

namespace {

// "_MMX", "_3DNOW", "_SSE", "_SSE2" when the processor option names exactly
// the variant the command has.
const char* processor_suffix(const LibraryCommand* command) {
    switch (cpu_mode) {
    case cpu_mode_mmx: return (command->flags & LIBRARY_FLAG_MMX) ? "_MMX" : "";
    case cpu_mode_3dnow: return (command->flags & LIBRARY_FLAG_3DNOW) ? "_3DNOW" : "";
    case cpu_mode_sse: return (command->flags & LIBRARY_FLAG_SSE) ? "_SSE" : "";
    case cpu_mode_sse2: return (command->flags & LIBRARY_FLAG_SSE2) ? "_SSE2" : "";
    default: return "";
    }
}

}  // namespace

const char* library_routine_name(const LibraryCommand* command) {
    static char text[512];
    snprintf(text, sizeof text, "ZD_%s%s%s", command_name(command), get_routine_suffix(command),
             processor_suffix(command));
    return text;
}

void emit_library_call_instruction(const LibraryCommand* command, int32_t extra_slots) {
    const char* name = command_name(command);
    if (debugger_code && (command->flags & LIBRARY_FLAG_DEBUGGERCHECK)) {
        emit_linef(" MOV r10,ZD_%s_DEBUG", name);
        emit_linef(" MOV r11,%d", extra_slots + (extra_slots & 1));
        emit_linef(" CALL _DBG_CallDebug");
    }
    if (cpu_mode == cpu_mode_dynamic && (command->flags & LIBRARY_FLAG_PROCESSOR)) {
        // The routine's address is a qword of the jump table.
        emit_linef(" CALL qword [f_%s]", name);
    } else if (command->flags & LIBRARY_FLAG_VIRTUAL) {
        emit_linef(" CALL qword [%s]", library_routine_name(command));
    } else {
        emit_linef(" CALL %s", library_routine_name(command));
    }
}

void emit_library_result_extension(const LibraryCommand* command) {
    // A C routine leaves only the low bytes of a byte or long result defined.
    if (command->flags & (LIBRARY_FLAG_STRING | LIBRARY_FLAG_FLOAT | LIBRARY_FLAG_DOUBLE | LIBRARY_FLAG_QUAD)) return;
    if (command->flags & LIBRARY_FLAG_BYTE) emit_linef(" MOVSX rax,al");
    else if (command->flags & LIBRARY_FLAG_LONG) emit_linef(" MOVSXD rax,eax");
}
