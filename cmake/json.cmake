# nlohmann/json, header-only, from Debian's nlohmann-json3-dev. The cross build
# gets a copy of that one folder: /usr/include as a whole holds the build
# machine's own C headers, which must never stand in for MinGW's.
set(PELLORIN_JSON_INCLUDE "/usr/include/nlohmann" CACHE PATH "nlohmann/json's header folder")
if(NOT EXISTS "${PELLORIN_JSON_INCLUDE}/json.hpp")
  message(FATAL_ERROR "nlohmann/json is missing: install the Debian package nlohmann-json3-dev "
                      "(or set PELLORIN_JSON_INCLUDE to a folder holding json.hpp).")
endif()
set(PELLORIN_JSON_ROOT "${CMAKE_BINARY_DIR}/thirdparty/json")
file(COPY "${PELLORIN_JSON_INCLUDE}/" DESTINATION "${PELLORIN_JSON_ROOT}/nlohmann")
add_library(pellorin_json INTERFACE)
target_include_directories(pellorin_json SYSTEM INTERFACE "${PELLORIN_JSON_ROOT}")
# The program's JSON never throws past its own readers: they catch parse_error
# where the input is read.
target_compile_definitions(pellorin_json INTERFACE JSON_USE_IMPLICIT_CONVERSIONS=0)
