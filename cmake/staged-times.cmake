# Run by CPack once it has staged a package's files (CPACK_PRE_BUILD_SCRIPTS): with
# SOURCE_DATE_EPOCH set, every staged file and folder gets it as its time.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND CMAKE_HOST_UNIX)
    if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
        message(FATAL_ERROR "No staged files in \"${CPACK_TEMPORARY_DIRECTORY}\"")
    endif()
    execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}"
                            -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                    COMMAND_ERROR_IS_FATAL ANY)
endif()
