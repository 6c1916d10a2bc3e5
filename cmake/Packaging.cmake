# The installation package (`cmake --build <dir> --target package`): a gzip tar of the program
# folder - the program, the update helper, the installer, the language libraries - with
# product.manifest at its top, which lkinstall reads. Made in <build>/package/.
set(LARK_PRODUCT_CODE "{8C1D7A52-3E4B-4F0A-9B6E-2D5C7F1A0E93}" CACHE STRING
    "Product code of the installation; the same for every version, so an install replaces the last one")
set(LARK_PACKAGE_VERSION "${PROJECT_VERSION}" CACHE STRING "Version written into the package's manifest")

configure_file(${CMAKE_SOURCE_DIR}/cmake/product.manifest.in ${CMAKE_BINARY_DIR}/generated/product.manifest @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/product.manifest DESTINATION .)
foreach(program larkspan Swapling lkinstall)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()
# The language libraries lang/ builds beside the program.
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/lang/ DESTINATION lang FILES_MATCHING PATTERN "resource.*.so")

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME ${LARK_PRODUCT_NAME})
set(CPACK_PACKAGE_VENDOR ${LARK_COMPANY_NAME})
set(CPACK_PACKAGE_VERSION ${LARK_PACKAGE_VERSION})
set(CPACK_PACKAGE_FILE_NAME "${LARK_PRODUCT_NAME}-${LARK_PACKAGE_VERSION}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES OFF)
include(CPack)
