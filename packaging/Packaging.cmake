# Installation as a Linux desktop program and the Debian package made from
# it by CPack (`cmake --build build --target package`). Included last by the
# top-level CMakeLists.txt, when every target exists.
include(GNUInstallDirs)

set(_id ru.trapezon.Trapezon)
set(_pkg ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS trapezon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zpcore LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# libzpcore.so is found beside the program's own lib folder, wherever the
# installation is rooted, without LD_LIBRARY_PATH.
set_target_properties(trapezon PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

# Read-only files of the program in share/trapezon/: the style sheet and
# whatever a subsystem adds to the global property TRAPEZON_SHARE_FILES (the
# default card template "MaketKS.docx" among them); a new per-user program
# folder gets the template at its first start.
get_property(_share GLOBAL PROPERTY TRAPEZON_SHARE_FILES)
install(FILES ${CMAKE_SOURCE_DIR}/app/trapezon.qss ${_share}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/trapezon)

install(FILES ${_pkg}/${_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/${_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/${_id}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The icon's bitmap sizes are drawn from the SVG at build time.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)
set(_made)
foreach(_size 16 24 32 48 64 128 256)
  set(_png ${CMAKE_BINARY_DIR}/packaging/icons/${_size}/${_id}.png)
  add_custom_command(OUTPUT ${_png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${_size}
    COMMAND ${RSVG_CONVERT} -w ${_size} -h ${_size} -o ${_png} ${_pkg}/${_id}.svg
    DEPENDS ${_pkg}/${_id}.svg VERBATIM)
  install(FILES ${_png}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  list(APPEND _made ${_png})
endforeach()
set(_man ${CMAKE_BINARY_DIR}/packaging/trapezon.1.gz)
add_custom_command(OUTPUT ${_man}
  COMMAND ${GZIP} -9nc ${_pkg}/trapezon.1 > ${_man}
  DEPENDS ${_pkg}/trapezon.1 VERBATIM)
list(APPEND _made ${_man})
add_custom_target(trapezon_packaging_files ALL DEPENDS ${_made})
install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trapezon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Трапезон <trapezon@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # trapezon_2.1.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/zpcore)
# What the libraries' dependencies do not name: the plugins Qt loads at run
# time (the SQLite driver of the database, the SVG icon) and the sounds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6svg6, sound-theme-freedesktop, fonts-dejavu-core")
# The PostgreSQL driver only for serving points that share a database server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, libreoffice-writer, libqt6sql6-psql")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "журнал питания работников в столовой предприятия")
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Трапезон ведёт журнал питания столовой: сотрудник отмечается бесконтактной
картой на считывателе, штрихкодом или выбором из списка; программа ведёт
список сотрудников и справочники, строит отчёты и переносит данные из базы
Microsoft Access прежней версии (trapezon --import-mdb).
.
Считыватели карт и сканер штрихкодов на последовательном порту доступны
только пользователям группы dialout: sudo adduser ПОЛЬЗОВАТЕЛЬ dialout,
затем войти в систему заново.")
set(CPACK_STRIP_FILES ON)
include(CPack)
