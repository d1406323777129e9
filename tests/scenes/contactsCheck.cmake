# The checks of contacts.mel, included by runScene.cmake after its run (frames 1-700 at
# the host's 24 frames per second, transforms in out/transforms.csv). The box on the
# 35 degree slope speeds up at g (sin 35 - 0.5 cos 35) = 1.6088 m/s^2, within 10 %,
# measured from its places 18 frames apart (0.75 s) so that when it starts does not
# count; the box sent at 3 m/s stops within 10 % of 9 / (2 g) = 0.4587 m and does not
# creep back; the turned cube lies on a face, not moving at all from frame 600 to 700.
include(${CMAKE_CURRENT_LIST_DIR}/sceneNumbers.cmake)

file(STRINGS ${WORKDIR}/out/transforms.csv rows REGEX "^[0-9]+,(slider|runner|cr),")
set(runnerFurthest -1000000000)
foreach(row IN LISTS rows)
  scene_translation_row("${row}")
  if(node STREQUAL "runner")
    if(tx GREATER runnerFurthest)
      set(runnerFurthest ${tx})
    endif()
    set(runnerLast ${tx})
  elseif(node STREQUAL "slider" AND frame MATCHES "^(7|25|43)$")
    # Down the slope: (-cos 35, -sin 35), in millionths.
    math(EXPR slider${frame} "-(${tx} * 819152 + ${ty} * 573576) / 1000000")
  elseif(node STREQUAL "cr" AND frame MATCHES "^(600|700)$")
    set(cr${frame} ${tx} ${ty} ${tz})
  endif()
endforeach()

math(EXPR acceleration "(${slider43} - 2 * ${slider25} + ${slider7}) * 16 / 9")
if(acceleration LESS 1447920 OR acceleration GREATER 1769680)
  string(APPEND failures "the box on the slope speeds up at ${acceleration} micrometres/s^2, not 1608800 within 10 %\n")
endif()
math(EXPR stopped "${runnerFurthest} - 17000000")
if(stopped LESS 412830 OR stopped GREATER 504570)
  string(APPEND failures "the sliding box stops after ${stopped} micrometres, not 458720 within 10 %\n")
endif()
math(EXPR creep "${runnerFurthest} - ${runnerLast}")
if(creep GREATER 1000)
  string(APPEND failures "the sliding box creeps back ${creep} micrometres\n")
endif()
if(NOT cr600 STREQUAL cr700)
  string(APPEND failures "the turned cube moves after frame 600: ${cr600} then ${cr700}\n")
endif()
list(GET cr700 1 crHeight)
if(crHeight LESS 490000 OR crHeight GREATER 510000)
  string(APPEND failures "the turned cube's centre is ${crHeight} micrometres above the ground, not on a face\n")
endif()
