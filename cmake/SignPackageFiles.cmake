# Run by CPack after it has installed (and stripped) the files of a package and before it packs
# them: signs every program and DLL there (scripts/sign-windows.sh does nothing without a
# certificate), so that what is signed is exactly what ships.
file(GLOB_RECURSE orvelin_signed "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.dll")
if(orvelin_signed)
    execute_process(COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/../scripts/sign-windows.sh" ${orvelin_signed}
        RESULT_VARIABLE orvelin_result)
    if(NOT orvelin_result EQUAL 0)
        message(FATAL_ERROR "signing the package files failed")
    endif()
endif()
