# What a host program's build finds once the dev component is installed: a pkg-config
# file (tessaro-obclient) and a CMake package (find_package(TessaroNotifications)).
include(CMakePackageConfigHelpers)

# The plug-in's file name is fixed by its target; both files name it so a host need not.
set(TESSARO_PLUGIN_FILE_NAME
    ${CMAKE_SHARED_LIBRARY_PREFIX}TessaroNotifications2Codec${CMAKE_SHARED_LIBRARY_SUFFIX})

install(EXPORT TessaroNotificationsTargets NAMESPACE Tessaro:: DESTINATION ${TESSARO_INSTALL_CMAKEDIR}
        COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TessaroNotificationsConfig.cmake.in
  ${CMAKE_BINARY_DIR}/TessaroNotificationsConfig.cmake
  INSTALL_DESTINATION ${TESSARO_INSTALL_CMAKEDIR}
  PATH_VARS TESSARO_INSTALL_PLUGINDIR)
# The entry points' signatures and the records change only with the first two numbers.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TessaroNotificationsConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TessaroNotificationsConfig.cmake
              ${CMAKE_BINARY_DIR}/TessaroNotificationsConfigVersion.cmake
        DESTINATION ${TESSARO_INSTALL_CMAKEDIR} COMPONENT dev)

configure_file(${CMAKE_CURRENT_LIST_DIR}/tessaro-obclient.pc.in ${CMAKE_BINARY_DIR}/tessaro-obclient.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tessaro-obclient.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
