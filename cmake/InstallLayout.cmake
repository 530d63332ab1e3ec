# Where things go on `cmake --install`, and how an installed tool finds the rest.
# Debian wants documentation under the package's name, not the project's.
set(CMAKE_INSTALL_DOCDIR share/doc/tessaro-notifications CACHE PATH "Documentation folder")
include(GNUInstallDirs)

# What a host program's author needs goes to the "dev" component; everything else, and any
# install() that names none, is what runs ("runtime"). The Debian package splits along this line.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME runtime)
set(TESSARO_DEV_DOCDIR share/doc/tessaro-notifications-dev)

# The plug-in is only ever loaded with dlopen by its full path, so it stays out of the
# loader's search path, in a folder of its own below the library folder.
set(TESSARO_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/tessaro)

# Tools reach the plug-in by this relative path from their own folder, so an install tree
# (or a DESTDIR copy of it) works wherever it lands.
file(RELATIVE_PATH TESSARO_BINDIR_TO_PLUGINDIR ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${TESSARO_INSTALL_PLUGINDIR})
# The build tree has the same shape, so the one relative path serves both.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_BINDIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR})

# Public headers keep their source-tree paths below this folder (obclient.h includes
# "host/vlm_host.h"), so a host program compiles with -I<includedir>/tessaro.
set(TESSARO_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessaro)
set(TESSARO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/TessaroNotifications)

# The loader finds a system library folder by itself; anywhere else the tools carry the way there.
if(NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES
   AND NOT CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
  file(RELATIVE_PATH bindir_to_libdir ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(TESSARO_TOOL_RPATH "$ORIGIN/${bindir_to_libdir}")
  set(TESSARO_PLUGIN_RPATH "$ORIGIN/..")
endif()

# Installed targets link with their install run path in the build tree too, which has
# the same shape: editing the path at install instead makes CMake pad the build tree's
# path with ':', an empty entry that has the loader search the current folder.

# A host program: into bin, finding libobclient.so from there. With no path to carry
# (a system library folder), the build tree's tools keep CMake's own.
function(tessaro_install_tool target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${TESSARO_TOOL_RPATH}")
  if(TESSARO_TOOL_RPATH)
    set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# The host runtime's library, where programs link it; host programs find it through the
# exported target Tessaro::obclient.
function(tessaro_install_runtime_library target)
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
  install(TARGETS ${target} EXPORT TessaroNotificationsTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# The plug-in, into its own folder in the build tree as in the install tree. Its host program
# has libobclient.so loaded already, so the build tree needs no path of its own.
function(tessaro_install_plugin target)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${TESSARO_INSTALL_PLUGINDIR}
    INSTALL_RPATH "${TESSARO_PLUGIN_RPATH}" BUILD_WITH_INSTALL_RPATH ON)
  install(TARGETS ${target} LIBRARY DESTINATION ${TESSARO_INSTALL_PLUGINDIR})
endfunction()
