# Zandforge reports a faulty descriptor but still ends with exit code 0:
# the build fails here when the library file was not written.
if(NOT EXISTS "${LIBRARY_FILE}")
  message(FATAL_ERROR "Zandforge wrote no library file: ${LIBRARY_FILE}")
endif()
