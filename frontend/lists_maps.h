// Lists, maps and the Dim, ReDim, NewList and NewMap statements.
#pragma once

void compile_dim_statement(int redim);
void compile_newlist_statement();
void compile_newmap_statement();
