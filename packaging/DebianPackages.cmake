# The Debian packages, made by CPack from the two install components.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_PACKAGE_NAME tessaro-notifications)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tessaro codec maintainers <codec@tessaro.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Description lines stay within 80 columns, as Debian's tools show them.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tessaro-notifications)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "IoT platform notifications codec plug-in and its host tools\n"
  "libTessaroNotifications2Codec.so is a codec plug-in that a host\n"
  "event-processing runtime loads into its connectivity chains: it turns the\n"
  "platform's alarm, event, measurement, managed object and operation\n"
  "notifications into host events. The package also holds libobclient.so, a\n"
  "stand-in for the host runtime, and tessaro-replay, which converts\n"
  "notification files.")
if(TARGET tessaro-consume)
  string(APPEND CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "\ntessaro-consume converts the platform's live websocket notification\n"
    "stream; it runs as the service tessaro-consume@NAME.")
endif()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# The tools and the plug-in need libobclient.so, which this package itself brings.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR})
# postinst creates the service user with adduser.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
    ${CMAKE_CURRENT_LIST_DIR}/debian/prerm
    ${CMAKE_CURRENT_LIST_DIR}/debian/postrm
    ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
if(TARGET tessaro-consume)
  # dpkg keeps an operator's changes to these on upgrade.
  list(APPEND CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/conffiles)
endif()

set(CPACK_DEBIAN_DEV_PACKAGE_NAME tessaro-notifications-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
string(CONCAT CPACK_DEBIAN_DEV_DESCRIPTION
  "Tessaro notifications codec: files for building host programs\n"
  "The headers of the host runtime's records and functions and of the codec\n"
  "plug-in's entry points, a pkg-config file (tessaro-obclient), a CMake\n"
  "package (find_package(TessaroNotifications)) and a small example host\n"
  "program in C that loads the plug-in and converts one notification.")
# The headers and the library they declare change together.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "tessaro-notifications (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "pkgconf, cmake")

include(CPack)
