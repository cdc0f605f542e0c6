# skelvane_add_man_page(TARGET NAME "one-line description" [SUBCOMMANDS sub ...])
# Generates TARGET's man page from its --help and --version with help2man at build time (one section
# per subcommand's --help) and installs it into man1. Nothing of it is committed.
find_program(SKELVANE_HELP2MAN help2man)
include(GNUInstallDirs)

function(skelvane_add_man_page target description)
  cmake_parse_arguments(M "" "" "SUBCOMMANDS" ${ARGN})
  if(NOT SKELVANE_HELP2MAN)
    message(WARNING "help2man not found (scripts/install-deps.sh installs it): no man page for ${target}")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${SKELVANE_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${target}> -DOUTPUT=${page}
            "-DDESCRIPTION=${description}" "-DSUBCOMMANDS=${M_SUBCOMMANDS}"
            -P ${PROJECT_SOURCE_DIR}/cmake/GenerateManPage.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/GenerateManPage.cmake
    COMMENT "Man page of ${target}"
    VERBATIM)
  add_custom_target(${target}_man_page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
