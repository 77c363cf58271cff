# Signs the staged exe in place with Authenticode (SHA-256) through
# osslsigncode. Included by make-release-zip.cmake when SIGN_PKCS12 is set;
# any problem stops the package with one line, before a zip exists.
#
# The password is only ever named by its file (openssl's file:, osslsigncode's
# -readpass), so it shows neither in the process list nor in the logs.
# The reason goes out as one unwrapped line, then the error that stops cpack.
function(refuse message)
    message(NOTICE "cannot sign the release exe: ${message}")
    message(FATAL_ERROR "no release zip was made")
endfunction()

set(pkcs12 "${CPACK_SIGN_PKCS12}")
set(password_file "${CPACK_SIGN_PASSWORD_FILE}")
if(NOT EXISTS "${pkcs12}" OR IS_DIRECTORY "${pkcs12}")
    refuse("no PKCS#12 file at ${pkcs12}")
endif()
if(password_file STREQUAL "")
    refuse("SIGN_PASSWORD_FILE is not set: name the file that holds the password of ${pkcs12}")
endif()
if(NOT EXISTS "${password_file}" OR IS_DIRECTORY "${password_file}")
    refuse("no password file at ${password_file}")
endif()
foreach(tool openssl osslsigncode)
    find_program(${tool}_program ${tool})
    if(NOT ${tool}_program)
        refuse("${tool} is not installed (scripts/install-dependencies installs it)")
    endif()
endforeach()

set(certificate "${CPACK_TEMPORARY_DIRECTORY}/../signing-certificate.pem")
execute_process(COMMAND ${openssl_program} pkcs12 -in "${pkcs12}" -passin "file:${password_file}"
        -nokeys -clcerts -out "${certificate}"
    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
if(failed)
    refuse("the password in ${password_file} does not open ${pkcs12}, or that is no PKCS#12 file")
endif()
execute_process(COMMAND ${openssl_program} x509 -in "${certificate}" -noout -enddate
    OUTPUT_VARIABLE not_after OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${openssl_program} x509 -in "${certificate}" -noout -checkend 0
    RESULT_VARIABLE expired OUTPUT_QUIET)
if(expired)
    string(REPLACE "notAfter=" "" not_after "${not_after}")
    refuse("the certificate in ${pkcs12} expired on ${not_after}")
endif()
execute_process(COMMAND ${openssl_program} x509 -in "${certificate}" -noout -ext extendedKeyUsage
    OUTPUT_VARIABLE usage ERROR_QUIET)
if(NOT usage MATCHES "Code Signing")
    refuse("the certificate in ${pkcs12} is not for code signing (it lacks the Code Signing extended key usage)")
endif()

# A timestamp server vouches for the time; without one the signing time is
# the commit's, so that one commit's signed zip is the same bytes every time.
if(CPACK_SIGN_TIMESTAMP_URL)
    set(time_options -ts "${CPACK_SIGN_TIMESTAMP_URL}")
else()
    set(time_options -time ${epoch})
endif()
set(exe "${staging}/remove-grindlevault.exe")
execute_process(COMMAND ${osslsigncode_program} sign -pkcs12 "${pkcs12}" -readpass "${password_file}"
        -h sha256 -n remove-grindlevault ${time_options} -in "${exe}" -out "${exe}.signed"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
    file(REMOVE "${exe}.signed")
    string(STRIP "${output}" output)
    refuse("osslsigncode failed: ${output}")
endif()
file(RENAME "${exe}.signed" "${exe}")
