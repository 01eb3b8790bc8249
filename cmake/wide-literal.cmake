# cmake -DIN=text.txt -DOUT=text.inc -P wide-literal.cmake
# Turns a text file into the wide string literal a .cpp file #includes, so that
# a text people edit as a file (and quote elsewhere) is also what a program
# prints, byte for byte. Lines end in CR LF whatever the checkout gave the file.
# Printable ASCII only: the literal then means the same to every compiler, and
# the text can be quoted in README.txt, which Notepad reads as ASCII.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REGEX MATCH "[^ -~\n]" stray "${text}")
if(NOT stray STREQUAL "")
  message(FATAL_ERROR "${IN} holds a character other than printable ASCII or a line end")
endif()
string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
string(REPLACE "\n" "\\r\\n\"\n    L\"" text "${text}")
get_filename_component(name "${IN}" NAME)
set(literal "// Made from ${name} by cmake/wide-literal.cmake: edit that file instead.\n    L\"${text}\"\n")
# Written only when it changed, so that an unchanged text recompiles nothing.
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL literal)
  file(WRITE "${OUT}" "${literal}")
endif()
