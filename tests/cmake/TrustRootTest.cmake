cmake_minimum_required(VERSION 3.25)
# Configures tests/cmake/TrustRootProject with roots of trust that
# quorvin-publish makes, good and bad, and checks what the configuration
# says of each:
#   cmake -DPUBLISH=<quorvin-publish> -DWORK=<scratch folder> -P TrustRootTest.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(project ${CMAKE_CURRENT_LIST_DIR}/TrustRootProject)

function(publish)
  execute_process(COMMAND ${PUBLISH} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "quorvin-publish ${ARGN}: ${output}")
  endif()
  set(published "${output}" PARENT_SCOPE)
endfunction()

foreach(name a b c)
  publish(keygen ${WORK}/${name}.key)
  set(${name} "${published}")
endforeach()
publish(root-create --root-threshold 2 --root-key ${a} --root-key ${b} --catalogue-key ${c}
        ${WORK}/good.root)
publish(root-sign ${WORK}/a.key ${WORK}/b.key ${WORK}/good.root)
publish(root-create --root-threshold 2 --root-key ${a} --root-key ${b} --catalogue-key ${c}
        ${WORK}/half.root)
publish(root-sign ${WORK}/a.key ${WORK}/half.root)
publish(root-create --root-key ${a} --catalogue-key ${c} ${WORK}/unsigned.root)
file(READ ${WORK}/good.root text)
string(REPLACE "RootThreshold=2" "RootThreshold=1" text "${text}")
file(WRITE ${WORK}/tampered.root "${text}")
file(COPY_FILE ${WORK}/good.root.sig ${WORK}/tampered.root.sig)

# Each case: the -D values (joined by "@") and the piece the output must
# hold ("!" before it: the configuration must fail).
set(cases
  "-DQUORVIN_ROOT_FILE=|This build trusts no root and no key"
  "-DQUORVIN_ROOT_FILE=${WORK}/good.root|The root of trust ${WORK}/good.root: version 1"
  "-DQUORVIN_ROOT_FILE=${WORK}/half.root|!is not signed by enough of its own root keys (1 of 2)"
  "-DQUORVIN_ROOT_FILE=${WORK}/tampered.root|!is not signed by enough of its own root keys (0 of 1)"
  "-DQUORVIN_ROOT_FILE=${WORK}/unsigned.root|!has no signatures"
  "-DQUORVIN_ROOT_FILE=${WORK}/missing.root|!which does not exist"
  "-DQUORVIN_ROOT_FILE=${WORK}/good.root@-DQUORVIN_CATALOGUE_PUBLIC_KEY=${c}|!not both")
set(failures 0)
foreach(case IN LISTS cases)
  string(FIND "${case}" "|" bar)
  string(SUBSTRING "${case}" 0 ${bar} definitions)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${case}" ${bar} -1 expected)
  string(REPLACE "@" ";" definitions "${definitions}")
  set(must_fail FALSE)
  if(expected MATCHES "^!")
    set(must_fail TRUE)
    string(SUBSTRING "${expected}" 1 -1 expected)
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${project} -B ${WORK}/build -DQUORVIN_CATALOGUE_PUBLIC_KEY=
            ${definitions}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  string(FIND "${output}" "${expected}" found)
  if(found EQUAL -1 OR (must_fail AND result EQUAL 0) OR (NOT must_fail AND NOT result EQUAL 0))
    message(SEND_ERROR "${definitions}: expected ${expected} (fail: ${must_fail}), got exit "
                       "${result}: ${output}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
list(LENGTH cases total)
math(EXPR passed "${total} - ${failures}")
message(STATUS "${passed} passed, ${failures} failed")
