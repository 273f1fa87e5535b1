# Builds pelmctl.1.gz from the tool's own help texts, so the man page can
# never drift from what `pelmctl --help` says.
#   cmake -DPELMCTL=path -DHELP2MAN=path -DWORK=dir -DOUTPUT=file.1.gz
#         -DSECTIONS=pelmctl.h2m [-DEMULATOR=program] -P pelmctl-man.cmake
# help2man turns the overview into the page; each command's `--help` text is
# added as a section of its own, and the hand-written sections of SECTIONS
# (files, environment, exit status) after them, through an include file.
# SECTIONS may name @FILES@ and @TEXT_FILES@: the FILES and file-format
# texts shared with the PelmDp page, taken from beside it.

foreach(variable PELMCTL HELP2MAN WORK OUTPUT SECTIONS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "pelmctl-man.cmake: ${variable} is not set")
  endif()
endforeach()

# A tool built for another architecture runs under EMULATOR (a cross
# build's qemu-user), through a script of the tool's own name, since
# help2man runs the program it is given and names the page after it.
if(EMULATOR)
  file(WRITE "${WORK}/emulated/pelmctl" "#!/bin/sh\nexec '${EMULATOR}' '${PELMCTL}' \"$@\"\n")
  file(CHMOD "${WORK}/emulated/pelmctl" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(PELMCTL "${WORK}/emulated/pelmctl")
endif()

# In a sanitizer build the tool runs here too; leak reports are the test
# suite's business, not the man page's.
if(NOT DEFINED ENV{ASAN_OPTIONS})
  set(ENV{ASAN_OPTIONS} detect_leaks=0)
endif()

execute_process(COMMAND "${PELMCTL}" --help
  OUTPUT_VARIABLE overview RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pelmctl --help failed (${status})")
endif()

# The command names are the first words of the indented lines under
# "Commands:", up to the next line that is not indented. Line by line: a
# regular expression over the whole block also matches words of the
# summaries, since MATCHALL anchors ^ afresh after each match.
set(commands)
if(overview MATCHES "(^|\n)Commands:\n(( +[^\n]*\n)*)")
  string(REPLACE ";" "," block "${CMAKE_MATCH_2}")
  string(REPLACE "\n" ";" lines "${block}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  ([a-z][a-z0-9-]*)")
      list(APPEND commands "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()
if(NOT commands)
  message(FATAL_ERROR "pelmctl --help lists no commands")
endif()

# Help text as troff: kept line for line, with backslashes, leading dots or
# quotes and minus signs written so groff shows them as typed.
function(troff_verbatim text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'[])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(include "[COMMANDS]\n")
foreach(command IN LISTS commands)
  execute_process(COMMAND "${PELMCTL}" "${command}" --help
    OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pelmctl ${command} --help failed (${status})")
  endif()
  troff_verbatim("${help}" help)
  string(APPEND include ".SS \"pelmctl ${command}\"\n.nf\n${help}\n.fi\n")
endforeach()
get_filename_component(here "${CMAKE_SCRIPT_MODE_FILE}" DIRECTORY)
file(READ "${here}/files.man" FILES)
file(READ "${here}/text-files.man" TEXT_FILES)
file(READ "${SECTIONS}" sections)
string(CONFIGURE "${sections}" sections @ONLY)
string(APPEND include "${sections}")
file(WRITE "${WORK}/pelmctl.h2m" "${include}")

# help2man writes its page in the C locale unless told otherwise, which
# turns every character beyond ASCII (the Japanese defaults, the error
# box's text) into question marks, whatever the builder's own locale.
execute_process(COMMAND "${HELP2MAN}" --no-info --section=1 --locale=C.UTF-8
    "--name=operators' tool for the race-day display board"
    "--include=${WORK}/pelmctl.h2m" "--output=${WORK}/pelmctl.1" "${PELMCTL}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed (${status})")
endif()

# -n keeps name and time out of the archive, so rebuilds are identical.
execute_process(COMMAND gzip -9 -n -c "${WORK}/pelmctl.1"
  OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed (${status})")
endif()
