# reopenChain's own checks (included by runScene.cmake): opened and saved again, the
# scene is the one saved first but for the version the upgrade writes; opened and saved
# once more, it is the same byte for byte.
foreach(name saved again third)
  file(READ ${WORKDIR}/${name}.scene ${name})
  string(REGEX REPLACE "setAttr \"\\.version\"[^\n]*\n" "" ${name}Kept "${${name}}")
endforeach()
if(NOT savedKept STREQUAL againKept OR NOT again STREQUAL third)
  string(APPEND failures "the scene changed when opened and saved again\n")
endif()
