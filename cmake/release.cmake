# The release zip: the shipped programs, README.txt (for the people who download
# it), README.md, LICENSE and SHA256SUMS, at the zip's top level (Windows'
# "Extract All" makes the folder itself).
get_property(pellorin_shipped GLOBAL PROPERTY PELLORIN_SHIPPED)

set(pellorin_docs README.txt README.md LICENSE)
set(pellorin_summed "")
foreach(doc IN LISTS pellorin_docs)
  install(FILES ${doc} DESTINATION . COMPONENT ${doc})
  # Hashed from the build's own files, which the install copies byte for byte.
  list(APPEND pellorin_summed "${PROJECT_SOURCE_DIR}/${doc}")
endforeach()
set(pellorin_zipped ${pellorin_docs} SHA256SUMS)
set(pellorin_shipped_files "")
foreach(target IN LISTS pellorin_shipped)
  list(APPEND pellorin_shipped_files "$<TARGET_FILE:${target}>")
  list(APPEND pellorin_zipped ${target}${CMAKE_EXECUTABLE_SUFFIX})
endforeach()
list(APPEND pellorin_summed ${pellorin_shipped_files})
# For scripts/release.sh, which signs these before CPack hashes and zips them.
file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/shipped-exes.txt"
  CONTENT "$<JOIN:${pellorin_shipped_files},\n>\n")
install(CODE "set(pellorin_summed \"${pellorin_summed}\")
include(\"${CMAKE_CURRENT_LIST_DIR}/write-checksums.cmake\")"
  COMPONENT SHA256SUMS)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Pellorin)
set(CPACK_PACKAGE_VENDOR "Pellorin authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "Pellorin-${PROJECT_VERSION}-win32")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# One component per file, all in one zip: the zip then lists them in name order
# instead of in the order the file system happens to return them.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL ${pellorin_zipped})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
