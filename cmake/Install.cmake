# Installing like a desktop program, and the Debian package.
#
# <prefix>/bin                         tarnrecorder, tarn-record
# <prefix>/share/tarnrecorder          skin/, the watermark image, links to the
#                                      watermark fonts of Debian's font packages
# <prefix>/share/applications          the desktop entry
# <prefix>/share/metainfo              the AppStream description
# <prefix>/share/icons/hicolor         the program's icon, 16 to 256 and scalable
# <prefix>/share/man/man1              tarn-record.1.gz
#
# The programs find share/tarnrecorder relative to their own folder
# (platform::DataDir), so any prefix works.

include(GNUInstallDirs)

set(TARN_APP_ID "io.github.tarnrecorder.TarnRecorder")
set(TARN_PROJECT_URL "https://github.com/tarnrecorder/tarnrecorder" CACHE STRING
  "Home page of the project; the metainfo's screenshots are its docs/ images")
# The date of the release PROJECT_VERSION names, for the metainfo.
set(TARN_RELEASE_DATE "2026-12-08")
set(TARN_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(TARN_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/tarnrecorder)

install(TARGETS tarn-record RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/tarnwm.png DESTINATION ${TARN_DATA_DESTINATION})

# The watermark fonts are links to the files of the font packages rather than
# copies (the package depends on those packages).
foreach(entry IN LISTS TARN_WATERMARK_FONTS)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 font_source)
  list(GET parts 1 font_name)
  install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARN_DATA_DESTINATION}\")
    file(MAKE_DIRECTORY \"\${dir}\")
    message(STATUS \"Installing: \${dir}/${font_name} -> ${font_source}\")
    file(CREATE_LINK \"${font_source}\" \"\${dir}/${font_name}\" SYMBOLIC)")
endforeach()

# The manual page, compressed as Debian keeps them (-n: no name or time stamp
# inside, so the package is reproducible).
set(TARN_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/tarn-record.1.gz)
add_custom_command(OUTPUT ${TARN_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9 -n -c ${TARN_PACKAGING_DIR}/tarn-record.1 > ${TARN_MAN_PAGE}
  DEPENDS ${TARN_PACKAGING_DIR}/tarn-record.1
  COMMENT "Compressing the manual page of tarn-record")
add_custom_target(tarn_man_page ALL DEPENDS ${TARN_MAN_PAGE})
install(FILES ${TARN_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET tarnrecorder)
  install(TARGETS tarnrecorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/skin/ DESTINATION ${TARN_DATA_DESTINATION}/skin)
  # The compiled translations go where the program looks for them: beside the
  # layouts.
  install(FILES ${TARN_QM_FILES} DESTINATION ${TARN_DATA_DESTINATION}/skin/translations)

  install(FILES ${TARN_PACKAGING_DIR}/${TARN_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(TARN_METAINFO ${CMAKE_BINARY_DIR}/packaging/${TARN_APP_ID}.metainfo.xml)
  configure_file(${TARN_PACKAGING_DIR}/${TARN_APP_ID}.metainfo.xml.in ${TARN_METAINFO} @ONLY)
  install(FILES ${TARN_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icons are drawn from the SVG by packaging/icons/make-icons.sh.
  set(TARN_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${TARN_PACKAGING_DIR}/icons/${TARN_APP_ID}-${size}.png
      DESTINATION ${TARN_ICON_DIR}/${size}x${size}/apps RENAME ${TARN_APP_ID}.png)
  endforeach()
  install(FILES ${TARN_PACKAGING_DIR}/icons/${TARN_APP_ID}.svg DESTINATION ${TARN_ICON_DIR}/scalable/apps)
endif()

# cpack -G DEB: the dependencies on shared libraries come from dpkg-shlibdeps;
# what the programs load or open at run time is named by hand.
set(CPACK_PACKAGE_NAME tarnrecorder)
set(CPACK_PACKAGE_VENDOR "TarnRecorder")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen recorder for Linux desktops")
set(CPACK_PACKAGE_DESCRIPTION "TarnRecorder records the whole screen, a rectangle, a rectangle \
that follows the mouse, or the first camera, with the microphone and the system sound, into one \
H.264 and AAC file. It lists the recordings and offers cut, convert and compress tools. \
tarn-record records from the command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TARN_PROJECT_URL})
set(CPACK_PACKAGE_CONTACT "TarnRecorder developers" CACHE STRING "Maintainer of the Debian package")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin of Qt, and the font packages the watermark fonts link to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei, fonts-arphic-uming")
# The video tools run the ffmpeg program; playing a file and opening a folder go through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
