# The public headers: the only ones a program that takes the libraries sees,
# and the only ones installed. They compile as C11 and as C++.
set(EDOG_PUBLIC_HEADERS
  edog/e_dog_source_date.h
  edog/e_dog_db.h
  edog/e_dog_zones.h
  warner/e_dog_warn.h
  warner/e_dog_warn_zones.h
  geo/geohash.h
  geo/distance.h
  gps/nmea.h
  gps/nmea_epoch.h
  hash/HashAlgo.h
  tree/tree.h)

# In the build tree they are copied to include/ of the build folder, so that
# the include path of a project building with this one (add_subdirectory)
# holds them and nothing else.
foreach(header IN LISTS EDOG_PUBLIC_HEADERS)
  configure_file(${PROJECT_SOURCE_DIR}/${header} ${PROJECT_BINARY_DIR}/include/${header} COPYONLY)
endforeach()
# The version header is made from the project's version.
configure_file(${PROJECT_SOURCE_DIR}/edog/edog_version.h.in
  ${PROJECT_BINARY_DIR}/include/edog/edog_version.h @ONLY)

include(GNUInstallDirs)
add_library(edog_public_headers INTERFACE)
target_include_directories(edog_public_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(edog_public_headers PROPERTIES EXPORT_NAME headers)
