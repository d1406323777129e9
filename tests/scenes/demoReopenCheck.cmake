# demoReopen's own checks (included by runScene.cmake): the saved demo is opened and
# saved again, twice: the same bytes each time. Stepped, the opened demo writes the same
# frames as the run that saved it, and breaks joints of the wall.
foreach(step "demo.scene;again.scene" "again.scene;third.scene")
  list(GET step 0 from)
  list(GET step 1 to)
  execute_process(COMMAND ${HOSTRUN} --batch --plugin ${MODULE} --open ${from} --save ${to}
                  WORKING_DIRECTORY ${WORKDIR} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE stepErr)
  if(NOT rc EQUAL 0 OR stepErr MATCHES "Error: ")
    string(APPEND failures "opening ${from} and saving ${to} failed (${rc}): ${stepErr}\n")
  endif()
endforeach()
foreach(name demo again third)
  file(READ ${WORKDIR}/${name}.scene ${name})
endforeach()
if(NOT demo STREQUAL again)
  string(APPEND failures "the demo changed when opened and saved again\n")
endif()
if(NOT again STREQUAL third)
  string(APPEND failures "saving the opened demo twice gave different files\n")
endif()
string(REGEX MATCHALL "createNode stressNode" savedStresses "${demo}")
list(LENGTH savedStresses savedStressCount)
if(NOT savedStressCount EQUAL 45)
  string(APPEND failures "the saved demo holds ${savedStressCount} stress nodes, expected 45\n")
endif()

execute_process(COMMAND ${HOSTRUN} --batch --plugin ${MODULE} --open demo.scene --frames 1:120 --out reopened --obj
                        --then ${CMAKE_CURRENT_LIST_DIR}/brokenJoints.mel
                WORKING_DIRECTORY ${WORKDIR} RESULT_VARIABLE rc OUTPUT_VARIABLE stepped ERROR_VARIABLE stepErr)
string(REGEX MATCHALL "\nstr_meshZylBody[0-9]+_meshZylBody[0-9]+" broken "${stepped}")
list(LENGTH broken brokenCount)
# Calibrated once: the striker breaks every joint of the wall, as in the demo's own run.
if(NOT rc EQUAL 0 OR stepErr MATCHES "Error: " OR brokenCount LESS 40)
  string(APPEND failures "the opened demo, stepped, broke ${brokenCount} joints (exit ${rc}): ${stepErr}\n")
endif()
# The opened demo steps as the session that saved it did, byte for byte.
zyl_compare_frames("the opened demo" ${WORKDIR}/live ${WORKDIR}/reopened 60)
