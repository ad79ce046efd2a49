// Labels: definitions, references and the end-of-source check.
#pragma once

// A statement "name:" declares a label.
void compile_label_name(const char* name);
// End of source: every referenced label must be defined.
void check_label_references();
