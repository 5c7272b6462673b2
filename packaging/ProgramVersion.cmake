# nvx_program_version(<program> <variable>): the version the built program prints, the one
# number the package, its file name and its changelog carry.
function(nvx_program_version program variable)
  execute_process(COMMAND "${program}" --version
    OUTPUT_VARIABLE version ERROR_VARIABLE error RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR NOT version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${program} --version gave no version (status ${result}): ${version}${error}\n"
                        "Build the program first (cmake --build).")
  endif()
  set(${variable} "${version}" PARENT_SCOPE)
endfunction()
