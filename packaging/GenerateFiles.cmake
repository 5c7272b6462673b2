# Run at install time (and so by CPack): makes the files the package derives from the built
# program and from the drawings, in NVX_GENERATED_DIR. Expects NVX_PROGRAM (the built
# vl3-tools-nvx), NVX_PACKAGING_DIR (this folder) and NVX_GENERATED_DIR.
include(${NVX_PACKAGING_DIR}/ProgramVersion.cmake)
nvx_program_version("${NVX_PROGRAM}" version)
file(MAKE_DIRECTORY "${NVX_GENERATED_DIR}")

function(nvx_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}: status ${result}\n${error}")
  endif()
endfunction()

# Debian wants compressed documentation without a name or date in the gzip header.
function(nvx_gzip source target)
  nvx_run(gzip -9 -n -f -k "${source}")
  file(RENAME "${source}.gz" "${target}")
endfunction()

# The manual page is the program's own --help, so it never disagrees with the program.
find_program(NVX_HELP2MAN help2man REQUIRED)
set(page "${NVX_GENERATED_DIR}/vl3-tools-nvx.1")
nvx_run(${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 "${NVX_HELP2MAN}" --no-info --section=1
  "--name=bridge from a radio music scheduler to a voice-tracking platform"
  "--version-string=${version}" "--include=${NVX_PACKAGING_DIR}/vl3-tools-nvx.h2m"
  "--output=${page}" "${NVX_PROGRAM}")
nvx_gzip("${page}" "${page}.gz")

string(TIMESTAMP BUILD_DATE "%Y-%m-%d %H:%M" UTC)
string(TIMESTAMP CHANGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(VERSION "${version}")
configure_file("${NVX_PACKAGING_DIR}/changelog.in" "${NVX_GENERATED_DIR}/changelog" @ONLY)
nvx_gzip("${NVX_GENERATED_DIR}/changelog" "${NVX_GENERATED_DIR}/changelog.gz")

find_program(NVX_CONVERT convert REQUIRED)
foreach(size 48 128 256)
  file(MAKE_DIRECTORY "${NVX_GENERATED_DIR}/icons/${size}")
  nvx_run("${NVX_CONVERT}" -background none "mvg:${NVX_PACKAGING_DIR}/vl3-tools-nvx.mvg"
    -resize ${size}x${size} -depth 8 -strip "${NVX_GENERATED_DIR}/icons/${size}/vl3-tools-nvx.png")
endforeach()
