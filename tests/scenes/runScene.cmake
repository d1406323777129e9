# Runs one scene script through hostrun and checks what it printed, logged and traced.
# Called by CTest as `cmake -P runScene.cmake -DCONFIG=<file>`; the file (written by
# zyl_add_scene_test) sets HOSTRUN, MODULE, SCRIPT, WORKDIR, ARGS, NO_PLUGIN,
# ALLOW_WARNINGS, EXIT_CODE, CHECK and the lists STDOUT, LOG, TRACE, REJECT of regular
# expressions.
include(${CONFIG})

file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR})
# Scripts can load the module themselves through $zylModule.
set(command ${HOSTRUN} -c "string $zylModule = \"${MODULE}\"" --log log.txt --trace trace.txt)
if(NOT NO_PLUGIN)
  list(APPEND command --plugin ${MODULE})
endif()
list(APPEND command ${ARGS} ${SCRIPT})
execute_process(COMMAND ${command} WORKING_DIRECTORY ${WORKDIR}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(log "")
set(trace "")
if(EXISTS ${WORKDIR}/log.txt)
  file(READ ${WORKDIR}/log.txt log)
endif()
if(EXISTS ${WORKDIR}/trace.txt)
  file(READ ${WORKDIR}/trace.txt trace)
endif()
string(REPLACE ";" "," shown "${command}")

set(failures "")
if(NOT rc STREQUAL EXIT_CODE)
  string(APPEND failures "exit code ${rc}, expected ${EXIT_CODE}\n")
endif()
# Error lines of the host (with or without the file:line of the script that ran into
# them), the module's reports of failed host calls, and (unless allowed) the host's
# warnings, such as a callback a module left installed.
set(bad "(^|\n)([^\n]*:[0-9]+: )?Error: " "maya error: " "API error detected in ")
if(NOT ALLOW_WARNINGS)
  list(APPEND bad "(^|\n)([^\n]*:[0-9]+: )?Warning: ")
endif()
foreach(re IN LISTS bad REJECT)
  foreach(stream out err log)
    if("${${stream}}" MATCHES "${re}")
      string(APPEND failures "${stream} matches '${re}'\n")
    endif()
  endforeach()
endforeach()
foreach(check STDOUT:out LOG:log TRACE:trace)
  string(REPLACE ":" ";" pair ${check})
  list(GET pair 0 list)
  list(GET pair 1 stream)
  foreach(re IN LISTS ${list})
    if(NOT "${${stream}}" MATCHES "${re}")
      string(APPEND failures "${stream} does not match '${re}'\n")
    endif()
  endforeach()
endforeach()

# For the checks: the run in `live` wrote `expected` frames, and the run in `other` wrote
# each of them with the same bytes; the first that differs is named after `what`.
function(zyl_compare_frames what live other expected)
  file(GLOB frames RELATIVE ${live} ${live}/frame_*.obj)
  list(LENGTH frames count)
  if(NOT count EQUAL expected)
    string(APPEND failures "${what}: the run wrote ${count} frames, expected ${expected}\n")
  endif()
  foreach(frame IN LISTS frames)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${live}/${frame} ${other}/${frame}
                    RESULT_VARIABLE differs)
    if(differs)
      string(APPEND failures "${what}: steps otherwise from ${frame} on\n")
      break()
    endif()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

if(CHECK)
  include(${CHECK})
endif()

if(failures)
  message(FATAL_ERROR "${shown}\n${failures}--- stdout\n${out}--- stderr\n${err}--- log\n${log}--- trace\n${trace}")
endif()
