# Builds pelmctl.1.gz from the tool's own help texts, so the man page can
# never drift from what `pelmctl --help` says.
#   cmake -DPELMCTL=path -DHELP2MAN=path -DWORK=dir -DOUTPUT=file.1.gz -P pelmctl-man.cmake
# help2man turns the overview into the page; each command's `--help` text is
# added as a section of its own through an include file.

foreach(variable PELMCTL HELP2MAN WORK OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "pelmctl-man.cmake: ${variable} is not set")
  endif()
endforeach()

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
# "Commands:", up to the next line that is not indented.
set(commands)
if(overview MATCHES "(^|\n)Commands:\n(( +[^\n]*\n)*)")
  string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" names "${CMAKE_MATCH_2}")
  foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    list(APPEND commands "${name}")
  endforeach()
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
string(APPEND include "[FILES]\n"
  ".TP\n.I ./dbengine.ini\n.TQ\n.I /etc/pelm/dbengine.ini\n"
  "The database engine's configuration with the board's alias \\fBPelm\\fR; "
  "the one in the current directory comes first.\n"
  ".TP\n.I ./PelmDp.ini\nThe board's settings file, holding the data folder.\n"
  "[SEE ALSO]\n.BR PelmDp (1)\n")
file(WRITE "${WORK}/pelmctl.h2m" "${include}")

execute_process(COMMAND "${HELP2MAN}" --no-info --section=1
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
