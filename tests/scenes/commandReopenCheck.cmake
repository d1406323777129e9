# commandReopen's own checks (included by runScene.cmake): for each line of
# commandReopen.txt ("name: MEL"), the demo runs, then the MEL; the scene is saved at
# once and the run goes on for 60 frames. Opened and stepped, the saved scene writes the
# same frames, byte for byte; opened and saved again, it is the same file.
file(READ ${CMAKE_CURRENT_LIST_DIR}/commandReopen.txt cases)
# Each line is one list item, its semicolons kept aside.
string(REPLACE ";" "<semicolon>" cases "${cases}")
string(REPLACE "\n" ";" cases "${cases}")
foreach(case IN LISTS cases)
  if(NOT case MATCHES "^([A-Za-z]+): (.*)$")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  string(REPLACE "<semicolon>" ";" mel "${CMAKE_MATCH_2}")
  set(dir ${WORKDIR}/${name})
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/command.mel "${mel};\nfile -rename \"saved.scene\";  file -save;\n")
  set(base ${HOSTRUN} --batch --plugin ${MODULE} --frames 1:60 --obj)
  execute_process(COMMAND ${base} --out live ${SCRIPT} command.mel
                  WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR err MATCHES "Error: ")
    string(APPEND failures "${name}: the run with the command failed (${rc}): ${err}\n")
    continue()
  endif()
  execute_process(COMMAND ${base} --out reopened --open saved.scene
                  WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR err MATCHES "Error: ")
    string(APPEND failures "${name}: the saved scene, opened and stepped, failed (${rc}): ${err}\n")
    continue()
  endif()
  # Opened and saved again, it is the same file.
  execute_process(COMMAND ${HOSTRUN} --batch --plugin ${MODULE} --open saved.scene --save again.scene
                  WORKING_DIRECTORY ${dir} OUTPUT_QUIET ERROR_QUIET)
  file(READ ${dir}/saved.scene saved)
  set(again "")
  if(EXISTS ${dir}/again.scene)
    file(READ ${dir}/again.scene again)
  endif()
  if(NOT saved STREQUAL again)
    string(APPEND failures "${name}: the saved scene changed when opened and saved again\n")
  endif()
  zyl_compare_frames("${name}: the saved scene" ${dir}/live ${dir}/reopened 60)
endforeach()
