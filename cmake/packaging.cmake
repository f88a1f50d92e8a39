# What an install puts where, the package configuration of find_package(kel), and the packages
# CPack makes: a .deb on Linux, a .zip for each Windows build.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The engine library carries its public headers to whoever links it, in the build tree and
# once installed.
target_include_directories(kel INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                         $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS kel EXPORT kelTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS kelcommand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/kel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(KEL_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kel)
install(EXPORT kelTargets NAMESPACE kel:: DESTINATION ${KEL_CONFIG_DIR})
configure_package_config_file(cmake/kelConfig.cmake.in ${PROJECT_BINARY_DIR}/kelConfig.cmake
                              INSTALL_DESTINATION ${KEL_CONFIG_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelConfig.cmake ${PROJECT_BINARY_DIR}/kelConfigVersion.cmake
        DESTINATION ${KEL_CONFIG_DIR})

set(CPACK_PACKAGE_NAME kel)
set(CPACK_PACKAGE_VENDOR "KEL")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Script engine for automating Windows: library, headers and the kel command")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  # kel-VERSION-win32.zip or kel-VERSION-win64.zip.
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KEL developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The package's dependencies (the C and C++ runtimes, zlib) as its programs need them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
