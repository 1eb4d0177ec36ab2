# Installing on Linux and the Debian package.
#
#   cmake --install build --prefix PREFIX   the show, xm2wav, invitation-capture,
#                                           a desktop entry and the icon; and
#                                           the player library (component qxm):
#                                           lib/libqxm.a (and libqxm.so with
#                                           QXM_SHARED), include/qxm.h and
#                                           lib/pkgconfig/qxm.pc
#   (cd build && cpack -G DEB)              a .deb of the show and its tools,
#                                           installed under /usr, its library
#                                           dependencies found by dpkg-shlibdeps
#
# The icon is drawn at build time by make_icon from the show's block figure
# (on the headless backend, so the build needs no display).
include(GNUInstallDirs)

install(TARGETS invitation xm2wav invitation-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(icon_file ${CMAKE_BINARY_DIR}/icons/invitation.png)
add_custom_command(OUTPUT ${icon_file}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
                   # In sanitizer builds the GL driver's own allocations are not ours to report.
                   COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                           $<TARGET_FILE:make_icon> ${icon_file} 256
                   DEPENDS make_icon
                   COMMENT "Drawing the icon from the block figure")
add_custom_target(invitation_icon ALL DEPENDS ${icon_file})
install(FILES ${icon_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/invitation.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The player library for other programs: static (and shared with QXM_SHARED),
# with its header and a pkg-config file whose paths are relative to where it
# lies and whose version is the header's.
set_target_properties(player PROPERTIES OUTPUT_NAME qxm)
install(TARGETS player ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT qxm)
if(TARGET player_shared)
  install(TARGETS player_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT qxm)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/include/qxm.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT qxm)
file(RELATIVE_PATH QXM_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QXM_PC_TO_PREFIX "${QXM_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/packaging/qxm.pc.in ${CMAKE_BINARY_DIR}/qxm.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qxm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT qxm)

set(CPACK_PACKAGE_NAME invitation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quendra")
set(CPACK_PACKAGE_CONTACT "Quendra xmas compo organisers <invitation@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "The Quendra xmas compo 2004 invitation, a real-time demo")
set(CPACK_PACKAGE_DESCRIPTION
    "A real-time audiovisual invitation to a Christmas demo competition: a dancing block figure, block-letter headlines, noise overlays and slogans, in step with a tracker song played by its own XM module player. Also xm2wav, which renders an XM song to a WAV file, and invitation-capture, which records the show's pictures without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The show's package leaves the player library out (component Unspecified
# holds everything but it).
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};invitation;Unspecified;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# invitation-capture draws with Mesa's surfaceless EGL, which these drivers give.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, libegl-mesa0")
include(CPack)
