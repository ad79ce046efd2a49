/* Shared by the two sources of Debugger.lib: the console debugger that a
   program built with the debugger runs with. */
#ifndef ZANDREL_DEBUGGER_H
#define ZANDREL_DEBUGGER_H

/* Writes the bytes and a line feed to standard output in one call. */
void debugger_write_line(const char* text, unsigned long length);

/* Ends the program with the message of a routine entered with a stack
   that is not aligned for a call (only when the check is switched on). */
void debugger_check_alignment(void* return_address_slot, const char* routine);

/* Writes a line per item of the program's symbol banks (debugger_print.c). */
void debugger_dump_banks(void);

#endif
