// Per-thread objects and the entry point of a DLL.
//
// Threaded variables (and Threaded arrays, lists and maps) live in one block
// per thread, addressed from rbp. The runtime (toolchain/runtime) keeps each
// thread's block in a TLS slot: SYS_InitThreadedObject makes the block of the
// starting thread, SYS_GetThreadedObject the block of the calling thread
// (made on first use). A new block is zeroed and handed to the generated
// routine SYS_InitThreadObjectCallback (rcx = the block), which creates the
// objects and stores their initial values; SYS_FreeThreadObjectCallback
// releases them again. Main code reads its block from the bss qword
// ZD_MainThreadObject, so a Gosub's frame never hides it; the two callbacks
// read the block they were given from their own frame.
#pragma once

#include <cstdint>

struct HashTable;
struct ProcedureRecord;
struct VariableRecord;

// The global procedure table (the procedure front end defines it).
extern HashTable* procedure_table;

// The bss qword that holds the main thread's block.
constexpr const char* main_thread_object_symbol = "ZD_MainThreadObject";

// Settles `threaded_items_used` and `threaded_object_size` from the front
// end's init items, the thread-local offset and the emitters' marks. Called
// before the head is written.
void settle_threaded_items();

// DllMain: dispatch on the reason in rdx; process attach stores the module
// handle and runs the start-up code (ZD_DllInit), process detach runs the end
// code (_ZD_EOP); each of the four exported procedures is called, when
// present, with the module handle in rcx.
void emit_dll_main(ProcedureRecord* attach_thread, ProcedureRecord* detach_thread, ProcedureRecord* attach_process,
                   ProcedureRecord* detach_process);
// Finds the exported (and defined) procedures AttachThread, DetachThread,
// AttachProcess and DetachProcess in the global procedure table (names in any
// case; a later match replaces an earlier one) and writes DllMain.
void emit_dll_entry();

// The run-time set-up of one object, shared by the thread callbacks and the
// start-up code of Static items. `kind` is the item's type: 7 a structure
// variable with arrays, lists or maps; 14 a list, 15 an array (the stored
// dimension sizes), 22 a map (the stored slot count). Then the initial value
// of a variable by its type (numbers, a string or fixed string literal's
// number). And the release of such an object (maps, arrays, lists, strings,
// structures with managed fields).
void emit_object_creation(uint8_t kind, void* object);
void emit_object_initial_value(uint8_t kind, VariableRecord* variable, int64_t value);
void emit_object_release(uint8_t kind, void* object);

// Start-up, after the global initialisations: the main thread's block into
// [rsp+32] and into ZD_MainThreadObject.
void emit_thread_object_start();
// The public routine SYS_InitThreadObjectCallback.
void emit_thread_object_init();
// The public routine SYS_FreeThreadObjectCallback.
void emit_thread_object_free();
// Both callbacks, when Threaded objects exist or the debugger is on.
void emit_thread_object_callbacks();
// "ZD_MainThreadObject: rq 1" in the bss, when Threaded objects exist or the
// debugger is on.
void emit_thread_object_bss();
