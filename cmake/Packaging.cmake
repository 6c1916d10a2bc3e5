# The installation packages (`cmake --build <dir> --target package`), made in <build>/package/:
# - QuenorSync-<version>.tar.gz, the program folder for one user (lkinstall /i): the program, the
#   update helper, the installer, the address book library, the language libraries, the help
#   text, the desktop entry and its icon, with product.manifest at its top (component "peruser");
# - larkspan_<version>_<arch>.deb for the whole machine: the same in /usr/lib/larkspan/ with
#   /usr/bin/larkspan linking to the program, the desktop entry, icon, manual page, copyright and
#   changelog in their Debian places, and /etc/larkspan/wab.conf naming the address book library
#   (component "system"). Make it from a build without sanitizers (-DLARK_SANITIZE=OFF).
set(LARK_PRODUCT_CODE "{8C1D7A52-3E4B-4F0A-9B6E-2D5C7F1A0E93}" CACHE STRING
    "Product code of the installation; the same for every version, so an install replaces the last one")
set(LARK_PACKAGE_VERSION "${PROJECT_VERSION}" CACHE STRING "Version written into the package's manifest")
set(LARK_DEB_MAINTAINER "${LARK_COMPANY_NAME} <packages@tarnwell.example>" CACHE STRING "Maintainer of the Debian package")

set(LARK_RESOURCES ${CMAKE_SOURCE_DIR}/app/resources)
set(LARK_PACKAGE_FILES ${CMAKE_BINARY_DIR}/generated/package)
set(LARK_SYSTEM_FOLDER lib/larkspan)

configure_file(${CMAKE_SOURCE_DIR}/cmake/product.manifest.in ${CMAKE_BINARY_DIR}/generated/product.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in ${LARK_PACKAGE_FILES}/changelog @ONLY)
# /usr/bin/larkspan: a link to the program in its folder, which finds its languages beside it.
file(MAKE_DIRECTORY ${LARK_PACKAGE_FILES}/bin)
file(CREATE_LINK ../${LARK_SYSTEM_FOLDER}/larkspan ${LARK_PACKAGE_FILES}/bin/larkspan SYMBOLIC)

# Debian wants the manual page and the changelog compressed, without a time stamp.
set(LARK_COMPRESSED ${LARK_PACKAGE_FILES}/larkspan.1.gz ${LARK_PACKAGE_FILES}/changelog.gz)
add_custom_command(OUTPUT ${LARK_PACKAGE_FILES}/larkspan.1.gz
  COMMAND gzip -9n -c ${LARK_RESOURCES}/larkspan.1 > ${LARK_PACKAGE_FILES}/larkspan.1.gz
  DEPENDS ${LARK_RESOURCES}/larkspan.1)
add_custom_command(OUTPUT ${LARK_PACKAGE_FILES}/changelog.gz
  COMMAND gzip -9n -c ${LARK_PACKAGE_FILES}/changelog > ${LARK_PACKAGE_FILES}/changelog.gz
  DEPENDS ${LARK_PACKAGE_FILES}/changelog)
add_custom_target(lark_package_files ALL DEPENDS ${LARK_COMPRESSED})

# For one user: the program folder.
install(FILES ${CMAKE_BINARY_DIR}/generated/product.manifest DESTINATION . COMPONENT peruser)
install(FILES ${LARK_RESOURCES}/larkspan.desktop DESTINATION . COMPONENT peruser)
install(FILES ${LARK_RESOURCES}/icon.png DESTINATION . RENAME larkspan.png COMPONENT peruser)
# For the machine.
install(FILES ${LARK_PACKAGE_FILES}/bin/larkspan DESTINATION bin COMPONENT system)
install(FILES ${LARK_RESOURCES}/larkspan.desktop DESTINATION share/applications COMPONENT system)
install(FILES ${LARK_RESOURCES}/icon.png DESTINATION share/icons/hicolor/64x64/apps RENAME larkspan.png COMPONENT system)
install(FILES ${LARK_PACKAGE_FILES}/larkspan.1.gz DESTINATION share/man/man1 COMPONENT system)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${LARK_PACKAGE_FILES}/changelog.gz DESTINATION share/doc/larkspan
        COMPONENT system)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/wab.conf DESTINATION /etc/larkspan COMPONENT system)
if(TARGET wabstore)
  install(TARGETS wabstore LIBRARY DESTINATION ${LARK_SYSTEM_FOLDER} COMPONENT system)
endif()

# Both: the programs, the languages and the help text.
foreach(program larkspan Swapling lkinstall)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION . COMPONENT peruser)
    install(TARGETS ${program} RUNTIME DESTINATION ${LARK_SYSTEM_FOLDER} COMPONENT system)
  endif()
endforeach()
# The language libraries lang/ builds beside the program (installed as targets, so that the Debian
# package strips them like the programs).
foreach(code IN LISTS LARK_LANGUAGES)
  if(TARGET lang_${code})
    install(TARGETS lang_${code} LIBRARY DESTINATION lang COMPONENT peruser)
    install(TARGETS lang_${code} LIBRARY DESTINATION ${LARK_SYSTEM_FOLDER}/lang COMPONENT system
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
if(LARK_HELP_TEXT)
  install(FILES ${LARK_HELP_TEXT} DESTINATION help COMPONENT peruser)
  install(FILES ${LARK_HELP_TEXT} DESTINATION ${LARK_SYSTEM_FOLDER}/help COMPONENT system)
endif()

set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_NAME ${LARK_PRODUCT_NAME})
set(CPACK_PACKAGE_VENDOR ${LARK_COMPANY_NAME})
set(CPACK_PACKAGE_VERSION ${LARK_PACKAGE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SyncML client for contacts, calendar events and tasks")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES OFF)
# Each generator packs its own components into one package (cmake/CPackOptions.cmake.in).
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_PACKAGE_NAME larkspan)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LARK_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The schedule is a line of the user's crontab.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS cron)
# The lines after the summary (CPack indents them).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "QuenorSync (larkspan) keeps the contacts, calendar events and tasks on this
computer in step with an account on a groupware server that speaks SyncML 1.1
over HTTP or HTTPS. A wizard sets up the connection and pairs each server
database with a local folder; the main window and the notification-area icon
start and follow synchronizations, and a schedule runs them unattended.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
configure_file(${CMAKE_SOURCE_DIR}/cmake/CPackOptions.cmake.in ${CMAKE_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackOptions.cmake)
include(CPack)
