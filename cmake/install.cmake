# What `cmake --install` puts under the prefix on the Linux desktop, in the layout every
# distribution expects: the program, its menu entry and icons, what software centres read, the
# manual page and the documents. The Debian package is made from exactly this.
include(GNUInstallDirs)

install(TARGETS veldrin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The menu entry and the AppStream data are named by the component's ID, which software centres
# use to match the two.
set(VELDRIN_APP_ID example.veldrin.veldrin)
install(FILES platform/sdl/veldrin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${VELDRIN_APP_ID}.desktop)
install(FILES platform/sdl/veldrin.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME ${VELDRIN_APP_ID}.metainfo.xml)
foreach(size 16 32)
  install(FILES assets/icon${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME veldrin.png)
endforeach()

configure_file(platform/sdl/veldrin.6.in ${CMAKE_CURRENT_BINARY_DIR}/veldrin.6 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veldrin.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The licence as the copyright file; the Debian package puts debian/copyright, the same in
# Debian's machine-readable form, in its place.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
