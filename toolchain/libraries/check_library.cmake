# Zandforge ends with exit code 1 after a faulty descriptor; this check
# also fails the build when the library file was not written at all.
if(NOT EXISTS "${LIBRARY_FILE}")
  message(FATAL_ERROR "Zandforge wrote no library file: ${LIBRARY_FILE}")
endif()
