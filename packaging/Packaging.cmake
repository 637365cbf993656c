# What the package installs, and the Debian package CPack builds from it (scripts/package.sh).
include(GNUInstallDirs)

set(QT2XX_HOMEPAGE "https://qt2xx.example.org" CACHE STRING "Home page named by the package and the metainfo")
set(QT2XX_APPSTREAM_ID "org.example.qt2xx" CACHE STRING "AppStream component id: the home page's domain reversed")
set(QT2XX_DEVELOPER "qt2xx developers" CACHE STRING "Who the metainfo names as developer")
set(QT2XX_MAINTAINER "qt2xx developers <qt2xx@example.org>" CACHE STRING "The package's maintainer")

set(pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(pkg_out ${CMAKE_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/qt2xx)

# The programs: the window here, the companions in tools/. Each has its man page, installed with it.
install(TARGETS qt2xx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(programs qt2xx qt2xx-controller-sim qt2xx-frame qt2xx-gang qt2xx-records qt2xx-station)

# Man pages and the changelog are shipped compressed, without time stamps, so a rebuild is identical.
set(compressed)
foreach(program IN LISTS programs)
  if(NOT EXISTS ${pkg}/man/${program}.1)
    message(WARNING "${program} has no man page in packaging/man")
    continue()
  endif()
  add_custom_command(OUTPUT ${pkg_out}/${program}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_out}
    COMMAND gzip -9nc ${pkg}/man/${program}.1 > ${pkg_out}/${program}.1.gz
    DEPENDS ${pkg}/man/${program}.1 VERBATIM)
  list(APPEND compressed ${pkg_out}/${program}.1.gz)
  install(FILES ${pkg_out}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(OUTPUT ${pkg_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${pkg_out}
  COMMAND gzip -9nc ${pkg}/changelog > ${pkg_out}/changelog.gz
  DEPENDS ${pkg}/changelog VERBATIM)
add_custom_target(qt2xx_package_files ALL DEPENDS ${compressed} ${pkg_out}/changelog.gz)
install(FILES ${pkg_out}/changelog.gz ${pkg}/copyright DESTINATION ${doc_dir})

# Desktop entry, icon and metainfo. The PNGs are rendered from the SVG:
#   rsvg-convert -w N -h N qt2xx.svg -o qt2xx-N.png
install(FILES ${pkg}/qt2xx.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg}/icons/qt2xx.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${pkg}/icons/qt2xx-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME qt2xx.png)
endforeach()
set(QT2XX_PROVIDED_BINARIES "")
foreach(program IN LISTS programs)
  if(program STREQUAL "qt2xx-gang")
    continue() # a component of its own, below
  endif()
  string(APPEND QT2XX_PROVIDED_BINARIES "\n    <binary>${program}</binary>")
endforeach()
configure_file(${pkg}/qt2xx.metainfo.xml.in ${pkg_out}/${QT2XX_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${pkg_out}/${QT2XX_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The gang window has a desktop entry and a component of its own, with the same icon.
install(FILES ${pkg}/qt2xx-gang.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${pkg}/qt2xx-gang.metainfo.xml.in ${pkg_out}/${QT2XX_APPSTREAM_ID}.gang.metainfo.xml @ONLY)
install(FILES ${pkg_out}/${QT2XX_APPSTREAM_ID}.gang.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The udev rule belongs with the system's own rules, whatever the library folder is called.
install(FILES ${pkg}/60-qt2xx-serial.rules DESTINATION lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qt2xx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QT2XX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program motor controllers over a serial line")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QT2XX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QT2XX_HOMEPAGE})
# CPack puts the summary first and indents each line itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A bench window that programs electric-vehicle motor controllers with a
parameter set of 26 values over a serial line, one controller after another,
logging each outcome in a coloured status log. Companion programs print the
frame a parameter file sends and play a controller for trying without
hardware.
.
A udev rule lets the user at the machine open the common USB serial adapters
without joining the dialout group and keeps ModemManager from probing them.")
# Libraries come from dpkg-shlibdeps: Qt Serial Bus, whose Modbus clients the station and the gang
# window link for --fixture, among them. What is loaded at run time rather than linked is named here:
# the platform plugin that draws the window, and the faces of its CJK-capable font.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(runtime_depends "qt6-qpa-plugins" "fonts-wqy-microhei | fonts-noto-cjk")
if(TARGET Qt6::Sql)
  list(APPEND runtime_depends "libqt6sql6-sqlite") # the production record's database driver
endif()
list(JOIN runtime_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Forwarding records to a central server (--record-server) needs the PostgreSQL driver; without it
# the option says which package is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${pkg}/postinst ${pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
