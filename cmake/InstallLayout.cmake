# Where an installed updater lives.  The updater manages the folder that
# holds its own executable, so it goes to the root of the product family's
# folder, /opt/quorvin, and the modules' own packages install below it.
# Desktop integration goes where desktops look for it, under /usr/share.
#
# Every destination is relative to the install prefix, which defaults to "/":
# `cmake --install` lays out the system itself, and DESTDIR (or --prefix)
# stages the same tree elsewhere, as CPack does.  The menu entry names the
# final path, /opt/quorvin/quorvin-updater, wherever the tree is staged.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "/" CACHE PATH "Root of the installed layout" FORCE)
endif()

set(QUORVIN_FAMILY_DIR opt/quorvin)
set(QUORVIN_APPSTREAM_ID com.quorvin.updater)
set(QUORVIN_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(QUORVIN_DOC_DIR usr/share/doc/quorvin-updater)

install(TARGETS quorvin-updater RUNTIME DESTINATION ${QUORVIN_FAMILY_DIR})

# A command on the PATH, for shells and for the metadata's "provides".  The
# link resolves to /opt/quorvin, so the updater still manages that folder.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
file(CREATE_LINK /${QUORVIN_FAMILY_DIR}/quorvin-updater ${PROJECT_BINARY_DIR}/packaging/quorvin-updater
     SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/packaging/quorvin-updater DESTINATION usr/bin)

foreach(size 16 24 32 48 64)
  install(FILES ${QUORVIN_RESOURCES}/icons/quorvin-updater-${size}.png
          DESTINATION usr/share/icons/hicolor/${size}x${size}/apps
          RENAME quorvin-updater.png)
endforeach()
install(FILES ${QUORVIN_RESOURCES}/quorvin-updater.desktop DESTINATION usr/share/applications)

# The AppStream metadata names the screenshot by URL, as software centres
# fetch it: the vendor web host publishes docs/window.png there.
set(QUORVIN_SCREENSHOT_URL "${QUORVIN_WEB_URL}screenshots/window.png"
    CACHE STRING "URL of the screenshot (docs/window.png) in the AppStream metadata")
if(QUORVIN_SCREENSHOT_URL MATCHES "[<>&\"]" OR QUORVIN_WEB_URL MATCHES "[<>&\"]")
  message(FATAL_ERROR "The web host and screenshot URLs go into XML: write <, >, & and \" percent-encoded")
endif()
configure_file(${QUORVIN_RESOURCES}/${QUORVIN_APPSTREAM_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${QUORVIN_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${QUORVIN_APPSTREAM_ID}.metainfo.xml
        DESTINATION usr/share/metainfo)

# The manual page and the Debian changelog go compressed, without a time
# stamp in the gzip header, so that the same sources give the same package.
set(QUORVIN_COMPRESSED_DOCS)
foreach(source quorvin-updater.1 debian/changelog)
  get_filename_component(name ${source} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND gzip -9nc ${QUORVIN_RESOURCES}/${source} > ${compressed}
    DEPENDS ${QUORVIN_RESOURCES}/${source}
    COMMENT "Compressing ${name}")
  list(APPEND QUORVIN_COMPRESSED_DOCS ${compressed})
endforeach()
add_custom_target(quorvin_compressed_docs ALL DEPENDS ${QUORVIN_COMPRESSED_DOCS})
install(FILES ${PROJECT_BINARY_DIR}/packaging/quorvin-updater.1.gz DESTINATION usr/share/man/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${QUORVIN_RESOURCES}/debian/copyright
        DESTINATION ${QUORVIN_DOC_DIR})
install(FILES ${QUORVIN_RESOURCES}/debian/lintian-overrides
        DESTINATION usr/share/lintian/overrides RENAME quorvin-updater)
