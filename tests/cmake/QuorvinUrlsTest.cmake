# The configure-time check of the base URLs (cmake/QuorvinUrls.cmake), in
# script mode:  cmake -P tests/cmake/QuorvinUrlsTest.cmake
set(module "${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuorvinUrls.cmake")
set(QUORVIN_URLS_FUNCTIONS_ONLY ON)
include("${module}")

# `expected` is "" for a good URL, else a text the problem must contain.
function(expect url schemes expected)
  if(schemes STREQUAL "download")
    quorvin_base_url_problem("${url}" "http" "http://" problem)
  else()
    quorvin_base_url_problem("${url}" "http|https" "http:// or https://" problem)
  endif()
  string(FIND "${problem}" "${expected}" at)
  if((expected STREQUAL "" AND NOT problem STREQUAL "") OR at EQUAL -1)
    message(SEND_ERROR "${schemes} URL \"${url}\": expected \"${expected}\", got \"${problem}\"")
  endif()
endfunction()

set(slash "it must end in \"/\"")
set(characters "printable ASCII without spaces")
expect("http://127.0.0.1:8047/" download "")
expect("HTTP://updates.example/quorvin/" download "")
expect("https://www.example/products/" web "")
expect("http://127.0.0.1:8047" download "${slash}")
expect("http://www.example/site" web "${slash}")
expect("https://h/" download "it must be an http:// URL that names a host")
expect("ftp://h/" web "it must be an http:// or https:// URL")
expect("http:///" download "names a host")
expect("http://h/a b/" download "${characters}")
expect("http://h/\t/" download "${characters}")
expect("http://h/?x=/" download "${characters}")
expect("http://h/a\"b/" web "${characters}")

# Run as a module, a bad URL stops with its name and value; good ones pass.
set(good "http://127.0.0.1:8047/")
execute_process(COMMAND "${CMAKE_COMMAND}" "-DQUORVIN_DOWNLOAD_URL=${good}"
                        "-DQUORVIN_WEB_URL=http://www.example/site" -P "${module}"
                RESULT_VARIABLE result ERROR_VARIABLE output)
string(REGEX REPLACE "[ \n]+" " " output "${output}")
string(FIND "${output}" "QUORVIN_WEB_URL is \"http://www.example/site\": ${slash}" at)
if(result EQUAL 0 OR at EQUAL -1)
  message(SEND_ERROR "a bad QUORVIN_WEB_URL did not stop the check: ${result} ${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" "-DQUORVIN_DOWNLOAD_URL=${good}"
                        "-DQUORVIN_WEB_URL=${good}" -P "${module}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(SEND_ERROR "good URLs failed the check: ${result}")
endif()
