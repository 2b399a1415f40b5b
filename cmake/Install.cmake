# Installing on a Linux desktop: the two programs, their manual pages, the
# window's desktop entry and icon, the archive MIME types; the Debian package;
# and the tests of what gets installed.
#
# Included at the end of the top level, so every program target exists here.

include(GNUInstallDirs)

set(SGA_PACKAGING_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(SGA_PACKAGING_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(SGA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(SGA_HAVE_WINDOW OFF)
if(TARGET sgaview)
  set(SGA_HAVE_WINDOW ON)
endif()

# --- Programs and the archive types --------------------------------------

install(TARGETS sga RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The types are useful to file managers even without the window.
install(FILES ${SGA_PACKAGING_SOURCE}/sga-archives.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

if(SGA_HAVE_WINDOW)
  install(TARGETS sgaview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${SGA_PACKAGING_SOURCE}/sgaview.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# --- Manual pages, gzipped at build time when gzip is there --------------

set(SGA_MAN_PAGES sga)
if(SGA_HAVE_WINDOW)
  list(APPEND SGA_MAN_PAGES sgaview)
endif()
find_program(SGA_GZIP gzip)
set(SGA_MAN_OUTPUTS)
foreach(page IN LISTS SGA_MAN_PAGES)
  set(source ${SGA_PACKAGING_SOURCE}/man/${page}.1)
  if(SGA_GZIP)
    set(copy ${SGA_PACKAGING_OUTPUT}/man/${page}.1)
    # -n keeps name and time out of the header: the same page gives the same bytes.
    add_custom_command(
      OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
      COMMAND ${SGA_GZIP} -9nf ${copy}
      DEPENDS ${source}
      COMMENT "Compressing manual page ${page}(1)"
      VERBATIM)
    list(APPEND SGA_MAN_OUTPUTS ${copy}.gz)
  else()
    list(APPEND SGA_MAN_OUTPUTS ${source})
  endif()
endforeach()
add_custom_target(sga-man-pages ALL DEPENDS ${SGA_MAN_OUTPUTS})
install(FILES ${SGA_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- Application icon: drawn at build time ------------------------------

if(SGA_HAVE_WINDOW AND TARGET Qt6::Gui)
  add_executable(sga-make-icon ${SGA_PACKAGING_SOURCE}/icon/make-icon.cpp)
  target_link_libraries(sga-make-icon PRIVATE Qt6::Gui)
  set_target_properties(sga-make-icon PROPERTIES AUTOMOC OFF)

  set(iconDir ${SGA_PACKAGING_OUTPUT}/icons)
  set(iconFiles ${iconDir}/sgaview.svg)
  foreach(size IN LISTS SGA_ICON_SIZES)
    list(APPEND iconFiles ${iconDir}/sgaview-${size}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${iconFiles}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${iconDir}
    COMMAND sga-make-icon ${iconDir} ${SGA_ICON_SIZES}
    DEPENDS sga-make-icon
    COMMENT "Drawing the application icon"
    VERBATIM)
  add_custom_target(sga-icons ALL DEPENDS ${iconFiles})

  set(iconTheme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${iconDir}/sgaview.svg DESTINATION ${iconTheme}/scalable/apps)
  foreach(size IN LISTS SGA_ICON_SIZES)
    install(FILES ${iconDir}/sgaview-${size}.png
            DESTINATION ${iconTheme}/${size}x${size}/apps RENAME sgaview.png)
  endforeach()
endif()

# --- Debian package -----------------------------------------------------
# "cpack -G DEB" in the build folder (or the "package" target) writes
# sga-<version>-<architecture>.deb. Dependencies come from dpkg-shlibdeps, so
# they name Debian's own library packages. The desktop, MIME and icon caches
# are refreshed by the dpkg triggers of desktop-file-utils, shared-mime-info
# and the icon theme; the package needs no scripts of its own.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sga)
set(CPACK_PACKAGE_VENDOR "sga maintainers")
set(CPACK_PACKAGE_CONTACT "sga maintainers <sga-maintainers@users.noreply.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and extractor for .big and .sga game archives")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the SGA archives of Impossible Creatures (.sga, version 1) and of\n\
Homeworld 2 (.big, version 2): lists their directories and files, checks\n\
every entry, previews text and pictures, and extracts one entry or the\n\
whole archive. Provides the window sgaview and the command line sga.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME sga)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_program(SGA_DPKG dpkg)
if(SGA_DPKG)
  execute_process(COMMAND ${SGA_DPKG} --print-architecture
                  OUTPUT_VARIABLE SGA_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(SGA_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${SGA_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "sga-${PROJECT_VERSION}-${SGA_DEB_ARCH}.deb")
include(CPack)

# --- Tests of the installed layout ---------------------------------------

if(SGA_BUILD_TESTS)
  set(SGA_MIME_QUERY "")
  if(TARGET Qt6::Core)
    add_executable(sga-mime-type-of ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/mime-type-of.cpp)
    target_link_libraries(sga-mime-type-of PRIVATE Qt6::Core)
    set_target_properties(sga-mime-type-of PROPERTIES AUTOMOC OFF)
    set(SGA_MIME_QUERY $<TARGET_FILE:sga-mime-type-of>)
  endif()
  set(installTests ${CMAKE_CURRENT_SOURCE_DIR}/tests/install)
  string(REPLACE ";" " " iconSizes "${SGA_ICON_SIZES}")

  add_test(NAME install.layout
           COMMAND bash ${installTests}/check-install.sh
                   ${CMAKE_CURRENT_BINARY_DIR} ${SGA_HAVE_WINDOW} "${SGA_MIME_QUERY}"
                   "${iconSizes}")
  add_test(NAME install.manpages
           COMMAND bash ${installTests}/check-manpages.sh
                   $<TARGET_FILE:sga> ${SGA_PACKAGING_SOURCE}/man ${SGA_HAVE_WINDOW})
  add_test(NAME install.debian-package
           COMMAND bash ${installTests}/check-deb.sh
                   ${CMAKE_CURRENT_BINARY_DIR} ${SGA_HAVE_WINDOW} ${CMAKE_CPACK_COMMAND})
  set_tests_properties(install.layout install.manpages install.debian-package
                       PROPERTIES LABELS install SKIP_RETURN_CODE 77)
  # Both build a private copy of the installed tree; let them not compete for the two cores.
  set_tests_properties(install.debian-package PROPERTIES RESOURCE_LOCK sga-install TIMEOUT 300)
  set_tests_properties(install.layout PROPERTIES RESOURCE_LOCK sga-install
                       ENVIRONMENT CMAKE=${CMAKE_COMMAND})
endif()
