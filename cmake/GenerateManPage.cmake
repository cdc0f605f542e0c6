# Run by skelvane_add_man_page (cmake -P): writes OUTPUT, the man page of PROGRAM made by HELP2MAN from
# its --help and --version, with one section per subcommand holding that subcommand's --help.
set(include_file ${OUTPUT}.h2m)
set(include_option)
if(SUBCOMMANDS)
  set(include_option --include=${include_file})
  file(WRITE ${include_file} "[COMMANDS]\n")
  foreach(sub ${SUBCOMMANDS})
    execute_process(COMMAND ${PROGRAM} ${sub} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${sub} --help failed (${rc})")
    endif()
    # Lines starting with a dot would read as roff requests.
    string(REGEX REPLACE "\n\\." "\n\\\\&." help "${help}")
    file(APPEND ${include_file} ".SS ${sub}\n.nf\n${help}\n.fi\n")
  endforeach()
endif()
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --name=${DESCRIPTION} ${include_option}
                        --output=${OUTPUT} ${PROGRAM}
                RESULT_VARIABLE rc)
file(REMOVE ${include_file})
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM} (${rc})")
endif()
