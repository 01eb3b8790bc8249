# The release zip: the shipped programs, README.txt (for the people who download
# it), README.md, LICENSE and SHA256SUMS, at the zip's top level (Windows'
# "Extract All" makes the folder itself).
get_property(pellorin_shipped GLOBAL PROPERTY PELLORIN_SHIPPED)

# What the installer, the winget manifest and the signature say of the maker:
# the same name and web address as the exes' file properties and windows, read
# from the headers that say them, so that no second copy can drift.
function(pellorin_header_text header macro out)
  file(STRINGS "${PROJECT_SOURCE_DIR}/${header}" line REGEX "^#define ${macro} L?\"")
  if(NOT line MATCHES "^#define ${macro} L?\"([^\"]+)\"$")
    message(FATAL_ERROR "${header} defines no ${macro} as one plain string")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
pellorin_header_text(base/ProductInfo.h PELLORIN_COMPANY_NAME pellorin_maker)
pellorin_header_text(ui/ProgramInfo.h PELLORIN_WEB_ADDRESS pellorin_web_address)

# Ties every version of the MSI together (major upgrades): never change it.
set(pellorin_upgrade_code "6B0D2C4E-3F1A-5E27-9C8B-0A4D1E7F2B63")
# Where winget downloads the MSI. The maker publishes no other download address,
# so it lies under the web address.
set(PELLORIN_DOWNLOAD_URL "${pellorin_web_address}download/" CACHE STRING
  "The folder address that release MSIs are published under")
set(pellorin_winget_id "Pellorin.Pellorin")

set(pellorin_settings
  PELLORIN_VERSION "${PROJECT_VERSION}"
  PELLORIN_MAKER "${pellorin_maker}"
  PELLORIN_WEB_ADDRESS "${pellorin_web_address}"
  PELLORIN_UPGRADE_CODE "${pellorin_upgrade_code}"
  PELLORIN_INSTALLER_URL "${PELLORIN_DOWNLOAD_URL}Pellorin-${PROJECT_VERSION}.msi"
  PELLORIN_WINGET_ID "${pellorin_winget_id}"
  PELLORIN_ICON "${PROJECT_SOURCE_DIR}/app/res/Pellorin.ico")
# For scripts/release.sh and the package tests, which source it.
set(settings_text "# Written by cmake/release.cmake.\n")
while(pellorin_settings)
  list(POP_FRONT pellorin_settings name value)
  if(value MATCHES "'")
    message(FATAL_ERROR "${name} holds a quote, which the release settings file cannot carry: ${value}")
  endif()
  string(APPEND settings_text "${name}='${value}'\n")
endwhile()
file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/release-settings.sh" CONTENT "${settings_text}")

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
set(CPACK_PACKAGE_VENDOR "${pellorin_maker}")
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
