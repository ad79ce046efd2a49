// Interfaces: method declarations inside an Interface block.
#pragma once

void compile_interface_method_line();
