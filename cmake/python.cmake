# Finds Python with its development files and pybind11, and builds the module
# velmar._velmar into build/python/velmar together with the package's files.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module QUIET)
if(Python3_FOUND)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pybind11; print(pybind11.get_cmake_dir())"
                  OUTPUT_VARIABLE VELMAR_PYBIND11_DIR OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(VELMAR_PYBIND11_DIR)
    find_package(pybind11 CONFIG QUIET HINTS ${VELMAR_PYBIND11_DIR})
  endif()
endif()

if(NOT Python3_FOUND OR NOT pybind11_FOUND)
  set(VELMAR_PYTHON_HELP "Debian: apt-get install python3-dev pybind11-dev python3-pybind11")
  if(VELMAR_PYTHON STREQUAL "ON")
    message(FATAL_ERROR "The Python module needs Python's development files and pybind11 (${VELMAR_PYTHON_HELP})")
  endif()
  message(STATUS "The Python module is not built: no Python development files or pybind11 (${VELMAR_PYTHON_HELP})")
  return()
endif()

set(VELMAR_PYTHON_DIR ${CMAKE_BINARY_DIR}/python)
# No link-time optimisation: the module is a thin layer, the core is built as for the trainer.
pybind11_add_module(_velmar NO_EXTRAS ${PROJECT_SOURCE_DIR}/python/bindings.cpp)
target_link_libraries(_velmar PRIVATE velmar_core)
set_target_properties(_velmar PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VELMAR_PYTHON_DIR}/velmar)
# The package's own files, copied beside the module at every build.
add_custom_target(velmar_python_package ALL
                  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/python/velmar
                          ${VELMAR_PYTHON_DIR}/velmar
                  DEPENDS _velmar
                  COMMENT "Python package velmar in ${VELMAR_PYTHON_DIR}")
message(STATUS "The Python module is built for ${Python3_EXECUTABLE} (${Python3_VERSION}) into ${VELMAR_PYTHON_DIR}")
