# reopenChain's own checks, included by runScene.cmake after its run: opened and saved
# again, the scene is the one saved first but for the play-back speed (the start reset
# sets it) and the version the upgrade writes; opened and saved once more, it is the
# same byte for byte.
foreach(name saved again third)
  if(NOT EXISTS ${WORKDIR}/${name}.scene)
    string(APPEND failures "${name}.scene was not written\n")
    return()
  endif()
  file(READ ${WORKDIR}/${name}.scene ${name})
  string(REGEX REPLACE "(playbackOptions|setAttr \"\\.version\")[^\n]*\n" "" ${name}Kept "${${name}}")
endforeach()
if(NOT savedKept STREQUAL againKept)
  string(APPEND failures "the scene opened and saved again differs from the one saved first\n")
endif()
if(NOT again STREQUAL third)
  string(APPEND failures "the scene saved, opened and saved once more changed\n")
endif()
