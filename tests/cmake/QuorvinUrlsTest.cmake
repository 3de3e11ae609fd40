# Runs cmake/QuorvinUrls.cmake in script mode with good and bad base URLs:
#   cmake -P tests/cmake/QuorvinUrlsTest.cmake
set(check "${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuorvinUrls.cmake")
set(good "http://127.0.0.1:8047/")
set(failures 0)

# Runs the check; `expected` is "ok" or a text the error must contain.
function(expect expected download web)
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DQUORVIN_DOWNLOAD_URL=${download}"
                          "-DQUORVIN_WEB_URL=${web}" -P "${check}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REPLACE "\n" " " output "${output}")
  string(REGEX REPLACE " +" " " output "${output}")
  if(expected STREQUAL "ok")
    set(passed 0)
    if(result EQUAL 0)
      set(passed 1)
    endif()
  else()
    string(FIND "${output}" "${expected}" at)
    set(passed 0)
    if(NOT result EQUAL 0 AND at GREATER -1)
      set(passed 1)
    endif()
  endif()
  if(NOT passed)
    message(SEND_ERROR "download \"${download}\", web \"${web}\": expected ${expected}, "
                       "got exit ${result}: ${output}")
  endif()
endfunction()

expect(ok "${good}" "${good}")
expect(ok "HTTP://updates.example/quorvin/" "https://www.example/products/")
expect("QUORVIN_DOWNLOAD_URL is \"http://127.0.0.1:8047\": it must end in \"/\""
       "http://127.0.0.1:8047" "${good}")
expect("QUORVIN_WEB_URL is \"http://www.example/site\": it must end in \"/\""
       "${good}" "http://www.example/site")
expect("QUORVIN_DOWNLOAD_URL is \"https://h/\": it must be an http:// URL" "https://h/" "${good}")
expect("QUORVIN_WEB_URL is \"ftp://h/\": it must be an http:// or https:// URL" "${good}" "ftp://h/")
expect("QUORVIN_DOWNLOAD_URL is \"http:///\"" "http:///" "${good}")
expect("without spaces" "http://h/a b/" "${good}")
expect("without spaces" "http://h/?x=/" "${good}")
