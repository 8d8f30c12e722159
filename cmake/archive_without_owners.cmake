# Run by cpack after it has written the archive: takes the builder's user
# and group out of its entries, which cpack's zip writer always records.
find_program(SUMBREL_PYTHON python3 REQUIRED)
foreach(archive ${CPACK_PACKAGE_FILES})
  execute_process(
    COMMAND ${SUMBREL_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/archive_without_owners.py ${archive}
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot take the owners out of ${archive}")
  endif()
endforeach()
