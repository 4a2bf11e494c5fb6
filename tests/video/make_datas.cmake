# Makes the default data set in DIR unless it is there: it is made in a
# folder beside and renamed when whole, so DIR is never half made.
if(EXISTS ${DIR}/tarnelle.mp3)
  return()
endif()
file(REMOVE_RECURSE ${DIR}.tmp)
execute_process(COMMAND ${MKDATAS} ${DIR}.tmp RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "mkdatas failed: ${result}")
endif()
file(REMOVE_RECURSE ${DIR})
file(RENAME ${DIR}.tmp ${DIR})
