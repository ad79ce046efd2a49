// The library file format: written by Zandforge, read by the compilers at
// start. Tags, field offsets, argument codes and command flag bits live here
// once so that the writer and the reader cannot drift apart.
//
// A file is a run of chunks. Each chunk is the tag 'ZAND', a 32-bit size
// (the bytes after the chunk type), a 32-bit chunk type, then its bytes.
// All integers are little-endian. A four-letter tag is a 32-bit value whose
// first letter is the most significant byte, so the file holds its letters
// in reverse order ('ZAND' is the bytes 44 4E 41 5A).
//
// Chunks, in file order:
//   'LIB4'  header and command table (always, first)
//   'DAT1'  the object file or import library, zlib-compressed when the
//           header's option bit 0 is set
//   'DBG1'  the debug object (object libraries only), never compressed
//   'NT41'  the "_nt" variant; size is its true length but the bytes are
//           padded with zeros to a multiple of 4
//
// 'LIB4' payload:
//   u32 options (bit 0: DAT1 compressed)
//   u32 unpacked size of DAT1 (0 when not compressed)
//   cstr library name
//   u8  language (1 C, 2 ASM)
//   u8  n, then n cstr: system libraries for the link line (".LIB" added by the compilers)
//   u8  object type (1 OBJ, 2 LIB)
//   cstr help line
//   u8  m, then m cstr: libraries this one needs
//   command records up to the end of the chunk (12 + size from the file start):
//     cstr name, u8 argument count, count argument codes, u32 flags, cstr help
#pragma once

#include <cstdint>

// Chunk tags.
constexpr uint32_t LIBRARY_TAG_ZAND = 0x5A414E44;
constexpr uint32_t LIBRARY_TAG_LIB4 = 0x4C494234;
constexpr uint32_t LIBRARY_TAG_LIB3 = 0x4C494233;
constexpr uint32_t LIBRARY_TAG_DAT1 = 0x44415431;
constexpr uint32_t LIBRARY_TAG_DBG1 = 0x44424731;
constexpr uint32_t LIBRARY_TAG_NT41 = 0x4E543431;

// Chunk head: tag, size, type.
constexpr uint32_t LIBRARY_CHUNK_HEAD_SIZE = 12;
// Offsets in the file of the first chunk's size, the options and the unpacked size.
constexpr uint32_t LIBRARY_OFFSET_HEADER_SIZE = 4;
constexpr uint32_t LIBRARY_OFFSET_OPTIONS = 12;
constexpr uint32_t LIBRARY_OFFSET_UNPACKED_SIZE = 16;

// Header option bits.
constexpr uint32_t LIBRARY_OPTION_COMPRESSED = 0x1;

// Language and object type bytes.
constexpr uint8_t LIBRARY_LANGUAGE_C = 1;
constexpr uint8_t LIBRARY_LANGUAGE_ASM = 2;
constexpr uint8_t LIBRARY_OBJECT_OBJ = 1;
constexpr uint8_t LIBRARY_OBJECT_LIB = 2;

// Limits that follow from one-byte counts: a name list holds at most 255
// names; a command has at most 127 argument bytes (the reader takes the
// count byte as signed).
constexpr int LIBRARY_MAX_NAME_COUNT = 255;
constexpr int LIBRARY_MAX_ARGUMENT_BYTES = 127;

// Argument codes of a command record.
constexpr uint8_t LIBRARY_ARG_BYTE = 0x01;
constexpr uint8_t LIBRARY_ARG_WORD = 0x02;
constexpr uint8_t LIBRARY_ARG_LONG = 0x04;
constexpr uint8_t LIBRARY_ARG_LINKEDLIST = 0x08;
constexpr uint8_t LIBRARY_ARG_LIST_ALT = 0x10;
constexpr uint8_t LIBRARY_ARG_ARRAY = 0x20;
constexpr uint8_t LIBRARY_ARG_STRING = 0x40;
constexpr uint8_t LIBRARY_ARG_FLOAT = 0x41;
constexpr uint8_t LIBRARY_ARG_ANY = 0x42;
constexpr uint8_t LIBRARY_ARG_DOUBLE = 0x43;
constexpr uint8_t LIBRARY_ARG_QUAD = 0x44;
constexpr uint8_t LIBRARY_ARG_MAP = 0x45;
constexpr uint8_t LIBRARY_ARG_STRUCTURE = 0x46;
constexpr uint8_t LIBRARY_ARG_RUNTIMEARRAY = 0x47;
constexpr uint8_t LIBRARY_ARG_RUNTIMEMAP = 0x48;
constexpr uint8_t LIBRARY_ARG_RUNTIMELIST = 0x49;
constexpr uint8_t LIBRARY_ARG_RUNTIMESTRUCTURE = 0x4A;
// Extra byte stored right after a structure or runtime argument code.
constexpr uint8_t LIBRARY_ARG_RUNTIMEARRAY_EXTRA = 0x4B;
constexpr uint8_t LIBRARY_ARG_RUNTIMEMAP_EXTRA = 0x4C;
constexpr uint8_t LIBRARY_ARG_RUNTIMELIST_EXTRA = 0x4D;
constexpr uint8_t LIBRARY_ARG_RUNTIMESTRUCTURE_EXTRA = 0x4E;
constexpr uint8_t LIBRARY_ARG_STRUCTURE_EXTRA = 0x4F;

// Command flag bits (the flags word of a command record).
constexpr uint32_t LIBRARY_FLAG_PARALLEL = 0x1;
constexpr uint32_t LIBRARY_FLAG_LAST = 0x2;
constexpr uint32_t LIBRARY_FLAG_BYTE = 0x4;
constexpr uint32_t LIBRARY_FLAG_LONG = 0x8;
constexpr uint32_t LIBRARY_FLAG_STRING = 0x10;
constexpr uint32_t LIBRARY_FLAG_FLOAT = 0x20;
constexpr uint32_t LIBRARY_FLAG_LEFT_OUT = 0x80;        // left out of the compilation's declarations
constexpr uint32_t LIBRARY_FLAG_DEBUGGERCHECK = 0x100;
constexpr uint32_t LIBRARY_FLAG_INITFUNCTION = 0x200;   // the library's init command
constexpr uint32_t LIBRARY_FLAG_ENDFUNCTION = 0x400;    // the library's end command
constexpr uint32_t LIBRARY_FLAG_VARIANT = 0x2000;       // made by "[" in a descriptor
constexpr uint32_t LIBRARY_FLAG_STDCALL = 0x8000;
constexpr uint32_t LIBRARY_FLAG_MMX = 0x10000;
constexpr uint32_t LIBRARY_FLAG_SSE = 0x20000;
constexpr uint32_t LIBRARY_FLAG_SSE2 = 0x40000;
constexpr uint32_t LIBRARY_FLAG_3DNOW = 0x80000;
constexpr uint32_t LIBRARY_FLAG_PROCESSOR = 0x100000;   // has a processor variant
constexpr uint32_t LIBRARY_FLAG_CDECL = 0x200000;
constexpr uint32_t LIBRARY_FLAG_PURIFIER = 0x400000;
constexpr uint32_t LIBRARY_FLAG_VIRTUAL = 0x800000;
constexpr uint32_t LIBRARY_FLAG_UNICODE = 0x1000000;
constexpr uint32_t LIBRARY_FLAG_THREAD = 0x2000000;
constexpr uint32_t LIBRARY_FLAG_ASSEMBLY = 0x4000000;
constexpr uint32_t LIBRARY_FLAG_DOUBLE = 0x8000000;
constexpr uint32_t LIBRARY_FLAG_QUAD = 0x20000000;
constexpr uint32_t LIBRARY_FLAG_DEPRECATED = 0x80000000;

// Key of the old 'LIB3' object scrambling: each dword d becomes ~d - key,
// the key starting here and growing by the chunk size after every dword.
constexpr uint32_t LIBRARY_LIB3_KEY_START = 472600;
