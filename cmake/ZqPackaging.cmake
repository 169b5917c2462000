# Install rules and the Debian package.
#
# An installation is one folder holding the programs, their two libraries,
# the default job file, the help page and the release notes side by side
# (the programs find each other and the libraries through their own folder),
# plus what the desktop needs: links in bin, menu entries, icons and manual
# pages under the prefix.
#
#   cmake --install build/release                      # as root: /opt + /usr/local
#   DESTDIR=/tmp/root cmake --install build/release    # staged
#   cpack --config build/release/CPackConfig.cmake     # zembrit-quarnel_<version>_amd64.deb
#
# The Debian package puts the folder at /opt/Zembrit_Quarnel, as the
# installer's system-wide installation does, and the rest under /usr.
include(GNUInstallDirs)

set(ZQ_PROGRAM_FOLDER "/opt/Zembrit_Quarnel" CACHE PATH
    "Absolute folder the programs are installed into, side by side")
if(NOT IS_ABSOLUTE "${ZQ_PROGRAM_FOLDER}")
  message(FATAL_ERROR "ZQ_PROGRAM_FOLDER must be an absolute folder: ${ZQ_PROGRAM_FOLDER}")
endif()
set(ZQ_PACKAGE_NAME zembrit-quarnel)
# The project's own team address, not a person's.
set(ZQ_PACKAGE_MAINTAINER "Zembrit_Quarnel developers <developers@zembrit-quarnel.invalid>")
set(zq_packaging_dir ${CMAKE_SOURCE_DIR}/cmake/packaging)
set(zq_generated_dir ${CMAKE_BINARY_DIR}/packaging)

# The settings program is installed whenever the tree builds it; an
# engine-only installation can leave it out.
if(TARGET Quarnel_gui)
  option(ZQ_INSTALL_SETTINGS_PROGRAM "Install the settings program Quarnel_gui" ON)
else()
  set(ZQ_INSTALL_SETTINGS_PROGRAM OFF)
endif()
set(zq_programs Zembrit_Quarnel)
if(ZQ_INSTALL_SETTINGS_PROGRAM)
  list(APPEND zq_programs Quarnel_gui)
endif()

install(TARGETS ${zq_programs} zgraphb zq_pdf_pages
  RUNTIME DESTINATION ${ZQ_PROGRAM_FOLDER}
  LIBRARY DESTINATION ${ZQ_PROGRAM_FOLDER})
install(FILES
    ${ZQ_INSTALL_LAYOUT_DIR}/Zembrit_Quarnel.ini
    ${ZQ_INSTALL_LAYOUT_DIR}/Zembrite_Quarnel.html
    ${ZQ_INSTALL_LAYOUT_DIR}/whatsnew.txt
  DESTINATION ${ZQ_PROGRAM_FOLDER})

# Links in bin, so the programs start by name. Absolute, because they lead
# out of the prefix's tree into the program folder.
foreach(program IN LISTS zq_programs)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"${ZQ_PROGRAM_FOLDER}/${program}\" \"\${link}\" SYMBOLIC)")
endforeach()

# Manual pages, compressed as Debian keeps them (-n: no name or time stamp,
# so a rebuild gives the same bytes).
find_program(ZQ_GZIP gzip REQUIRED)
set(zq_man_pages Zembrit_Quarnel)
if(ZQ_INSTALL_SETTINGS_PROGRAM)
  list(APPEND zq_man_pages Quarnel_gui)
endif()
set(zq_compressed_pages)
foreach(page IN LISTS zq_man_pages)
  set(compressed ${zq_generated_dir}/${page}.1.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${zq_generated_dir}
    COMMAND ${ZQ_GZIP} -9n -c ${CMAKE_SOURCE_DIR}/doc/man/${page}.1 > ${compressed}
    DEPENDS ${CMAKE_SOURCE_DIR}/doc/man/${page}.1
    VERBATIM)
  list(APPEND zq_compressed_pages ${compressed})
endforeach()
configure_file(${zq_packaging_dir}/changelog ${zq_generated_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${zq_generated_dir}/changelog.gz
  COMMAND ${ZQ_GZIP} -9n -c ${zq_generated_dir}/changelog > ${zq_generated_dir}/changelog.gz
  DEPENDS ${zq_generated_dir}/changelog
  VERBATIM)
add_custom_target(zq_package_files ALL
  DEPENDS ${zq_compressed_pages} ${zq_generated_dir}/changelog.gz)
install(FILES ${zq_compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${zq_packaging_dir}/copyright ${zq_generated_dir}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZQ_PACKAGE_NAME})
install(FILES ${zq_packaging_dir}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME ${ZQ_PACKAGE_NAME})

# Menu entries and their icons.
set(zq_entries help)
if(ZQ_INSTALL_SETTINGS_PROGRAM)
  list(APPEND zq_entries settings)
endif()
foreach(entry IN LISTS zq_entries)
  configure_file(${zq_packaging_dir}/zembrit_quarnel-${entry}.desktop.in
                 ${zq_generated_dir}/zembrit_quarnel-${entry}.desktop @ONLY)
  install(FILES ${zq_generated_dir}/zembrit_quarnel-${entry}.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/src/setup/art/quarnel-gui.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
  RENAME zembrit_quarnel-settings.svg)
install(FILES ${CMAKE_SOURCE_DIR}/src/setup/art/help.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
  RENAME zembrit_quarnel-help.svg)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ZQ_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zembrit_Quarnel developers")
set(CPACK_PACKAGE_CONTACT ${ZQ_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TIFF converter with a settings program")
set(CPACK_PACKAGE_DESCRIPTION
  "Zembrit_Quarnel converts TIFF images (single-page, multi-page and raw fax)
into BMP, EPS, GIF, JPEG, PCL, PCX/DCX, PDF, PNG, PSD, IBM page segment, TGA,
TIFF and YUV files through ImageMagick. The batch engine Zembrit_Quarnel runs
without a window from a job file; the settings program Quarnel_gui edits the
job file and converts picked files behind a progress dialog.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZQ_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: from the libraries the programs link, as dpkg-shlibdeps finds them,
# and the package of ImageMagick's library, which the engine loads at run time
# (src/engine/CMakeLists.txt) and dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(REAL_PATH ${ZQ_MAGICK_WAND_FILE} zq_magick_wand_real)
find_program(ZQ_DPKG_QUERY dpkg-query)
if(ZQ_DPKG_QUERY)
  execute_process(COMMAND ${ZQ_DPKG_QUERY} -S ${zq_magick_wand_real}
                  OUTPUT_VARIABLE zq_magick_owner RESULT_VARIABLE zq_magick_query)
  if(zq_magick_query EQUAL 0 AND zq_magick_owner MATCHES "^([^:]+):")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS ${CMAKE_MATCH_1})
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ZQ_INSTALL_LAYOUT_DIR})
# The help item and the help command open the page with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# The program folder is outside the prefix; staging through DESTDIR puts it
# at its own place in the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
