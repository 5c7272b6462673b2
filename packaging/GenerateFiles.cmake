# Run at install time (and so by CPack): installs the files the package derives from the built
# programs and from the drawing. Expects NVX_BIN_DIR (the folder of the built programs),
# NVX_PACKAGING_DIR (this folder) and NVX_WORK_DIR (a folder of the build). The files are made in a folder of this
# run's own below NVX_WORK_DIR, so that two packagings of one build at once never share one.
include(${NVX_PACKAGING_DIR}/ProgramVersion.cmake)
nvx_program_version("${NVX_BIN_DIR}/vl3-tools-nvx" version)
string(RANDOM LENGTH 12 run)
set(work "${NVX_WORK_DIR}/generated-${run}")
file(MAKE_DIRECTORY "${work}")

function(nvx_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "${ARGN}: status ${result}\n${error}")
  endif()
endfunction()

# Debian wants documentation compressed at most, without a name or date in the gzip header.
function(nvx_install_gzipped file destination)
  nvx_run(gzip -9 -n -f "${file}")
  file(INSTALL "${file}.gz" DESTINATION "${CMAKE_INSTALL_PREFIX}/${destination}")
endfunction()

# Each manual page is the program's own --help, so it never disagrees with the program. The
# programs are run by name from their folder, so that their usage line names them alone.
find_program(NVX_HELP2MAN help2man REQUIRED)
set(pages
  "vl3-tools-nvx|bridge from a radio music scheduler to a voice-tracking platform"
  "vl3-btrieve|create, fill, export and describe the record files of the suite"
  "vl3-platform-sim|local stand-in for the voice-tracking platform's HTTP API"
  "vl3-scheduler-sim|send a scheduler request and print the progress lines sent back")
foreach(page IN LISTS pages)
  string(REPLACE "|" ";" page "${page}")
  list(GET page 0 program)
  list(GET page 1 summary)
  set(include)
  if(EXISTS "${NVX_PACKAGING_DIR}/${program}.h2m")
    set(include "--include=${NVX_PACKAGING_DIR}/${program}.h2m")
  endif()
  nvx_run(${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 "PATH=${NVX_BIN_DIR}:$ENV{PATH}" "${NVX_HELP2MAN}"
    --no-info --section=1 "--name=${summary}" "--version-string=${version}" ${include}
    "--output=${work}/${program}.1" ${program})
  nvx_install_gzipped("${work}/${program}.1" share/man/man1)
endforeach()

string(TIMESTAMP BUILD_DATE "%Y-%m-%d %H:%M" UTC)
string(TIMESTAMP CHANGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(VERSION "${version}")
configure_file("${NVX_PACKAGING_DIR}/changelog.in" "${work}/changelog" @ONLY)
nvx_install_gzipped("${work}/changelog" share/doc/vl3-tools-nvx)

find_program(NVX_CONVERT convert REQUIRED)
foreach(size 48 128 256)
  file(MAKE_DIRECTORY "${work}/${size}")
  nvx_run("${NVX_CONVERT}" -background none "mvg:${NVX_PACKAGING_DIR}/vl3-tools-nvx.mvg"
    -resize ${size}x${size} -depth 8 -strip "${work}/${size}/vl3-tools-nvx.png")
  file(INSTALL "${work}/${size}/vl3-tools-nvx.png"
    DESTINATION "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/${size}x${size}/apps")
endforeach()
file(REMOVE_RECURSE "${work}")
