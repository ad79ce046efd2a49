// Lists, maps and the Dim, ReDim, NewList and NewMap statements.
#pragma once

void compile_dim_statement(int redim);
void compile_newlist_statement();
void compile_newmap_statement();

struct ListRecord;
struct MapRecord;

// Per compilation: the global list and map lists are made anew.
void reset_lists_maps();
// The visible list or map of the name (pointer flag of the name as read).
ListRecord* find_list(const char* name);
MapRecord* find_map(const char* name);
