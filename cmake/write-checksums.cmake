# Install step: writes SHA256SUMS for the files in pellorin_summed, in sha256sum's
# format ("hash  name", sorted by name) so that `sha256sum -c` checks it and a hash
# from certutil or Get-FileHash can be compared by eye.
set(names "")
foreach(file IN LISTS pellorin_summed)
  get_filename_component(name "${file}" NAME)
  file(SHA256 "${file}" "hash_${name}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
set(sums "")
foreach(name IN LISTS names)
  string(APPEND sums "${hash_${name}}  ${name}\n")
endforeach()
set(sums_file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/SHA256SUMS")
message(STATUS "Installing: ${sums_file}")
file(WRITE "${sums_file}" "${sums}")
