// Standby mode: the line-based command protocol with an editor on standard
// input and output.
#pragma once

// Serves standby commands until END or the end of the input; ends the process.
void run_standby_loop();
