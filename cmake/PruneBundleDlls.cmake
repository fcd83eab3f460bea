# cmake -DBUNDLE=DIR -DKEEP=a.dll,b.dll -P PruneBundleDlls.cmake
# Removes every DLL directly in DIR that KEEP does not name (compared without
# regard to case, as Windows does), so that a bundle holds only the libraries
# of its current configuration.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" _keep "${KEEP}")
string(TOLOWER "${_keep}" _keep)
file(GLOB _files LIST_DIRECTORIES false "${BUNDLE}/*")
foreach(_dll IN LISTS _files)
  get_filename_component(_name "${_dll}" NAME)
  string(TOLOWER "${_name}" _lower)
  if(_lower MATCHES "\\.dll$" AND NOT _lower IN_LIST _keep)
    message(STATUS "Removing ${_name}, which the current configuration does not ship")
    file(REMOVE "${_dll}")
  endif()
endforeach()
