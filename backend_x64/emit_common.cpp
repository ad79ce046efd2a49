#include "backend_x64/emit_common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "backend_x64/x64_globals.h"
#include "core/backend_tables.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/output_buffers.h"
#include "core/text_format.h"
#include "frontend/operand_state.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"

EmitterStackState emitter_stack;
int32_t string_position_saved;
int32_t code_emitted;
int32_t procedure_uses_string_stack;
int32_t jump_sense_inverted;
int32_t dll_symbol_addresses;
uint8_t runtime_routine_used[RUNTIME_ROUTINE_COUNT];
const char* const runtime_routine_names[RUNTIME_ROUTINE_COUNT] = {
    "SYS_CopyStructure", "SYS_CopyString", "SYS_CopyFixedString", "SYS_AssignFixedString",
    "SYS_AssignFixedStringFast", "SYS_CheckStringBuffer", "SYS_SkipString",
    "SYS_InitDynamicStructure", "SYS_ToAscii", "SYS_BufferToAscii", "SYS_ToUnicode",
    "SYS_BufferToUnicode", "SYS_ToBSTR", "SYS_BufferToBSTR", "SYS_ToUTF8", "SYS_BufferToUTF8",
    "SYS_FreeStructureStrings", "SYS_FreeArray", "SYS_StringEqual", "SYS_StringSuperior",
    "SYS_StringInferior", "SYS_AllocateString4", "SYS_FastAllocateString4",
    "SYS_FastAllocateStringFree4", "SYS_FreeString", "SYS_FreeStringNoCheck", "SYS_AllocateArray",
    "SYS_AllocateMultiArray", "SYS_ReAllocateArray", "SYS_ReAllocateMultiArray",
    "ZD_GetMapElement", "SYS_InitThreadedObject", "SYS_GetThreadedObject", "SYS_AddParallelJob",
};

const char* register_name(int size, int index) {
    const char* name = RegisterNameTable[size][index];
    return name ? name : "BAD";
}

int register_index_of(const char* text, int fallback) {
    // Register names are two or three bytes: the first two sort out all but
    // one or two candidates before a whole comparison.
    if (!text[0] || !text[1]) return fallback;
    for (int i = 0; i < 18; i++) {
        if (i == 8) continue;
        const char* name = RegisterNameTable[8][i];
        if (name && name[0] == text[0] && name[1] == text[1] && std::strcmp(name, text) == 0) return i;
    }
    return fallback;
}

const char* size_prefix(int size) {
    if (size < 0 || size > 8) return "";
    const char* prefix = SizePrefixTable[size];
    return prefix ? prefix : "";
}

void mark_runtime_used(int32_t routine) {
    if (!no_output_depth) runtime_routine_used[routine] = 1;
}

void reset_emitter_state() {
    emitter_stack.push_depth = 0;
    emitter_stack.call_frame_pad = 0;
    emitter_stack.fpu_depth = 0;
    string_position_saved = 0;
    code_emitted = 0;
    procedure_uses_string_stack = 0;
    jump_sense_inverted = 0;
    for (auto& used : runtime_routine_used) used = 0;
}

int32_t emit_call_frame_begin() {
    emitter_stack.call_frame_pad = 0;
    if (emitter_stack.push_depth == 0) return 0;
    int32_t r = emitter_stack.push_depth % 16;
    int32_t pad = r == 0 ? 32 : 48 - r;
    emitter_stack.call_frame_pad = pad;
    emitter_stack.push_depth += pad;
    emit_linef(" SUB rsp,%d", pad);
    return pad;
}

void emit_call_frame_end() {
    if (emitter_stack.call_frame_pad == 0) return;
    emitter_stack.push_depth -= emitter_stack.call_frame_pad;
    emit_linef(" ADD rsp,%d", emitter_stack.call_frame_pad);
}

int32_t emit_align_stack16() {
    int32_t pad = (16 - emitter_stack.push_depth % 16) % 16;
    emitter_stack.push_depth += pad;
    if (pad) emit_linef(" ADD rsp,-%d", pad);
    set_operand_register_text("rsp");
    return pad;
}

void emit_free_pseudo_arg(int type, int j) {
    emit_linef(" MOV rcx,[rsp+%d]", 8 * j + 8);
    int32_t r = emitter_stack.push_depth % 16;
    int32_t pad = r == 0 ? 32 : 48 - r;
    emit_linef(" SUB rsp,%d", pad);
    if (type == 18) {
        // The system function frees a BSTR (declared external with the
        // other used functions of the import files).
        if (!no_output_depth) mark_imported_function_used("SysFreeString_", "SysFreeString");
        emit_line(" CALL SysFreeString");
    } else {
        mark_runtime_used(RT_SYS_FreeStringNoCheck);
        emit_line(" CALL SYS_FreeStringNoCheck");
    }
    emit_linef(" ADD rsp,%d", pad);
}

void emit_release_pseudo_types(const int* types, int count) {
    if (count <= 0) return;
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
    // Every pseudo-type parameter owns a slot, the unconverted p-unicode one
    // too, so the slot index advances for each of them.
    for (int i = count - 1, j = 0; i >= 0; i--, j++) {
        if (types[i] == 16 || types[i] == 18 || types[i] == 19) emit_free_pseudo_arg(types[i], j);
    }
    emit_line(" POP rax");
    emitter_stack.push_depth -= 8;
    emitter_stack.push_depth -= 8 * count;
    emit_linef(" ADD rsp,%d", 8 * count);
    set_operand_register_text("rsp");
}
