# The Windows package, invitation-win64.zip: the show, xm2wav and a short text
# on running them, in one folder. Made by `cpack` in the Windows build folder.
configure_file(${CMAKE_SOURCE_DIR}/docs/windows-readme.txt ${CMAKE_BINARY_DIR}/README.txt
               NEWLINE_STYLE CRLF)
install(TARGETS invitation xm2wav RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME invitation)
set(CPACK_PACKAGE_FILE_NAME invitation-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
