# cmake -DTOOL=path -DNAME=name -DVERSION=x.y.z -DMISSING_ARGS=a|b|c -DTMP=dir -P check_tool_cli.cmake
cmake_minimum_required(VERSION 3.25)
set(failures "")
# expect(<message> <condition>...): records the message when the condition fails.
macro(expect what)
  if(NOT (${ARGN}))
    string(APPEND failures "  ${what}\n")
  endif()
endmacro()

file(REMOVE_RECURSE ${TMP})
file(MAKE_DIRECTORY ${TMP})
# A file where a tool might want a folder.
file(WRITE ${TMP}/file "not a folder\n")

execute_process(COMMAND ${TOOL} --help RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("--help exits with ${rc}, not 0" rc EQUAL 0)
expect("--help prints no usage line on standard output" out MATCHES "usage: ${NAME}")
expect("--help does not mention --version" out MATCHES "--version")
string(LENGTH "${err}" err_bytes)
expect("--help writes to standard error: ${err}" err_bytes EQUAL 0)

execute_process(COMMAND ${TOOL} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("--version exits with ${rc}, not 0" rc EQUAL 0)
string(REPLACE "." "\\." version_re "${VERSION}")
expect("--version prints '${out}'" out MATCHES "^${NAME} .*${version_re}")

execute_process(COMMAND ${TOOL} --no-such-option RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("an unknown option exits with ${rc}, not 2" rc EQUAL 2)
expect("an unknown option is not named: ${err}" err MATCHES "--no-such-option")
expect("a usage error shows no usage" err MATCHES "usage: ")

execute_process(COMMAND ${TOOL} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
expect("no arguments exits with ${rc}, not 2" rc EQUAL 2)

if(MISSING_ARGS)
  string(REPLACE "|" ";" args "${MISSING_ARGS}")
  list(TRANSFORM args REPLACE "@MISSING@" "${TMP}/no_such_file")
  list(TRANSFORM args REPLACE "@TMP@" "${TMP}")
  execute_process(COMMAND ${TOOL} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  expect("${args}: exits with ${rc}, not 1" rc EQUAL 1)
  expect("${args}: says '${err}'" err MATCHES "^${NAME}: cannot (open|create) ${TMP}/(no_such_file|file)")
  # One message, not the same complaint from every layer.
  string(REGEX MATCHALL "\n" lines "${err}")
  list(LENGTH lines count)
  expect("${args}: ${count} lines of complaint: ${err}" count EQUAL 1)
endif()

file(REMOVE_RECURSE ${TMP})
if(failures)
  message(FATAL_ERROR "${NAME}:\n${failures}")
endif()
message(STATUS "${NAME}: help, version, usage error and missing file as expected")
