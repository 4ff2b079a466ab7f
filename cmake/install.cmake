# Installing: the module and the checked module beside it, the host and
# platform libraries, the public headers, the viewer and the default font,
# with a CMake package and a pkg-config file for hosts that build against the
# headers.
include(CMakePackageConfigHelpers)

install(TARGETS zqhost zqplatform EXPORT zqgdTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS zqgd zqgd-checked LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS zqviewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/zqgd DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${ZQGD_BUILD_FONT_DIR}/6x12.bdf DESTINATION ${CMAKE_INSTALL_DATADIR}/zqgd/fonts)

install(EXPORT zqgdTargets NAMESPACE zqgd:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zqgd)
configure_package_config_file(cmake/zqgdConfig.cmake.in ${PROJECT_BINARY_DIR}/zqgdConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zqgd PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zqgdConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zqgdConfig.cmake ${PROJECT_BINARY_DIR}/zqgdConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/zqgd)
configure_file(cmake/zqgd.pc.in ${PROJECT_BINARY_DIR}/zqgd.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zqgd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
