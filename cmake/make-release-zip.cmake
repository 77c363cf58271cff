# CPack's own zip writer records each file's change and access times, which
# differ on every build. This one stores the files with the time of the last
# commit (or SOURCE_DATE_EPOCH) and nothing else, so that the zip is the same
# bytes on every build of one commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct
        WORKING_DIRECTORY ${CPACK_COMMIT_SOURCE_DIR}
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE git_failed ERROR_QUIET)
    if(git_failed OR epoch STREQUAL "")
        set(epoch 315532800) # 1980-01-01, the earliest time a zip can hold
    endif()
endif()
set(staging ${CPACK_TEMPORARY_DIRECTORY})
set(zip ${staging}/${CPACK_PACKAGE_FILE_NAME}.zip)
# An earlier zip must not outlive a failed build, where it could pass for
# the one that was asked for.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip
    ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip.sha256)
if(CPACK_SIGN_PKCS12)
    include(${CMAKE_CURRENT_LIST_DIR}/sign-release-exe.cmake)
endif()
file(GLOB_RECURSE files RELATIVE ${staging} ${staging}/*)
list(SORT files)
file(REMOVE ${zip})
execute_process(COMMAND touch -d @${epoch} ${files}
    WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
# -X: no owner, permission or extra time fields; TZ: zip's times are local.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -q ${zip} ${files}
    WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES ${zip})
