#pragma once

// The whole life of one compiler process: start-up, one run mode, shut-down.
// Returns the process exit code.
int compiler_main(int argc, char** argv);
