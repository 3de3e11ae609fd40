cmake_minimum_required(VERSION 3.25)
# Runs cmake/CataloguePublicKey.cmake in script mode on good and bad keys:
#   cmake -DMODULE=<path of CataloguePublicKey.cmake> -P CataloguePublicKeyTest.cmake
# Each case is "value|expected" where expected is "ok" or a piece of the
# error message.
set(cases
  "|ok"
  " 11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo= |ok"
  "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo|43 characters long"
  "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo11qY=|48 characters long"
  "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHUR==|exactly one"
  "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURp=|carries bits"
  "11qYAYKxCrfVS-7TyWQHOg7hcvPapiMlrwIaaPcHURo=|characters that base64 does not use"
  "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=|placeholder"
  "REPLACE_WITH_YOUR_KEY|characters that base64 does not use")
set(failures 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 value)
  list(GET parts 1 expected)
  execute_process(
    COMMAND ${CMAKE_COMMAND} "-DQUORVIN_CATALOGUE_PUBLIC_KEY=${value}" -P ${MODULE}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  if(expected STREQUAL "ok")
    set(passed FALSE)
    if(result EQUAL 0)
      set(passed TRUE)
    endif()
  else()
    string(FIND "${output}" "${expected}" found)
    set(passed FALSE)
    if(NOT result EQUAL 0 AND found GREATER -1 AND output MATCHES "QUORVIN_CATALOGUE_PUBLIC_KEY")
      set(passed TRUE)
    endif()
  endif()
  if(NOT passed)
    message(SEND_ERROR "key '${value}': expected ${expected}, got exit ${result}: ${output}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
list(LENGTH cases total)
math(EXPR passed "${total} - ${failures}")
message(STATUS "${passed} passed, ${failures} failed")
