// Global state of the compiler core and driver, grouped here so that a reader
// finds it in one place. Each section names the file that implements it.
#pragma once

#include <cstdint>
