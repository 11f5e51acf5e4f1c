# Install rules: the libraries, the public headers, the programs, a CMake
# package (find_package(edog) gives edog::edog) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(EDOG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/edog)

install(TARGETS edog_all edog_core edog_state edog_datafile edog_build edog_search edog_lookup
  edog_warner edog_gps edog_hash edog_tree edog_geo edog_public_headers
  EXPORT edogTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(header IN LISTS EDOG_PUBLIC_HEADERS)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${dir})
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/include/edog/edog_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/edog)

install(TARGETS edog_demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET edog-tool)
  install(TARGETS edog-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT edogTargets NAMESPACE edog:: DESTINATION ${EDOG_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/edogConfig.cmake.in
  ${PROJECT_BINARY_DIR}/edogConfig.cmake INSTALL_DESTINATION ${EDOG_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/edogConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/edogConfig.cmake ${PROJECT_BINARY_DIR}/edogConfigVersion.cmake
  DESTINATION ${EDOG_CMAKE_DIR})

# pkg-config: the libraries are static C++, so a C program links the C++
# runtime too. The prefix is found from the file's own place, so that the
# installed tree can be moved.
file(RELATIVE_PATH EDOG_PC_UP /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" EDOG_PC_UP "${EDOG_PC_UP}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/edog.pc.in ${PROJECT_BINARY_DIR}/edog.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/edog.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
