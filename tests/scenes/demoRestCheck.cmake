# The checks of demoRest.mel, included by runScene.cmake after its run (the demo over
# frames 1-600, transforms in out/transforms.csv). Every shard of the broken wall lies
# still from frame 300 on: at frames 450 and 600 each stands within 1 mm of where it
# stood at frame 300.
include(${CMAKE_CURRENT_LIST_DIR}/sceneNumbers.cmake)

file(STRINGS ${WORKDIR}/out/transforms.csv rows REGEX "^(300|450|600),mesh[0-9]+,")
set(shards "")
foreach(row IN LISTS rows)
  scene_translation_row("${row}")
  if(frame EQUAL 300)
    list(APPEND shards ${node})
    set(${node}_at ${tx} ${ty} ${tz})
    continue()
  endif()
  list(GET ${node}_at 0 x0)
  list(GET ${node}_at 1 y0)
  list(GET ${node}_at 2 z0)
  foreach(d "${tx} - ${x0}" "${ty} - ${y0}" "${tz} - ${z0}")
    math(EXPR d "${d}")
    if(d GREATER 1000 OR d LESS -1000)
      string(APPEND failures "${node} moves ${d} micrometres from frame 300 to ${frame}\n")
    endif()
  endforeach()
endforeach()
list(LENGTH shards count)
if(NOT count EQUAL 12)
  string(APPEND failures "${count} shards at frame 300, not 12\n")
endif()
