// Modules: DeclareModule/EndDeclareModule, Module/EndModule, UseModule,
// UnuseModule and the module prefix "name::".
#pragma once

void declare_module(const char* name);
void end_declare_module();
void begin_module(const char* name);
void end_module();
void use_module(const char* name);
void unuse_module(const char* name);
void resolve_module_prefix(const char* name);
// 0 outside module sections, 1 inside DeclareModule, 2 inside Module.
int module_section_state();
// End of source: error 300 for a module that was only declared.
void check_declared_modules();
