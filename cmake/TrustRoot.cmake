# The root of trust built into the updater: which keys it trusts to sign
# roots and catalogues (see README, "Publishing updates").
#
#   QUORVIN_ROOT_FILE             the first root (version 1 or later), its
#                                 signatures beside it as QUORVIN_ROOT_FILE.sig
#   QUORVIN_CATALOGUE_PUBLIC_KEY  shorthand: a root of this one key, threshold 1
#   QUORVIN_ALLOW_UNSIGNED        let the package target pack a build with neither
#
# A root file is checked here with the updater's own code (cmake/RootCheck.cpp,
# built once, run once for each content of the two files): one that does not
# read as a root, is not signed by a threshold of its own root keys, or has
# expired stops the configuration.  A build with neither trusts any catalogue
# it is served; configuring one prints a warning.
#
# Sets QUORVIN_TRUST ("root", "key" or "none") and writes the generated
# header BuiltInRoot.h (the root's text and signatures as byte arrays) into
# QUORVIN_GENERATED_DIR.
set(QUORVIN_ROOT_FILE "" CACHE FILEPATH
    "The first root of trust, signed (QUORVIN_ROOT_FILE.sig beside it); empty: none")
option(QUORVIN_ALLOW_UNSIGNED
       "Allow the package target to pack a build that verifies no catalogue" OFF)
set(QUORVIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
get_filename_component(QUORVIN_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# A C++ array initializer of the file's bytes, always ending in a 0 byte.
function(quorvin_bytes_of file out_var)
  set(bytes "")
  if(NOT file STREQUAL "")
    file(READ "${file}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  endif()
  set(${out_var} "{${bytes}0x00}" PARENT_SCOPE)
endfunction()

# The root check program (cmake/RootCheck.cpp with the updater's own code
# for roots, the project cmake/root-check), built once per build folder and
# again only when its sources change; sets `out_var` to its path.
function(quorvin_root_checker out_var)
  file(GLOB sources ${QUORVIN_SOURCE_ROOT}/src/platform/*.cpp ${QUORVIN_SOURCE_ROOT}/src/util/*.cpp
       ${QUORVIN_SOURCE_ROOT}/src/platform/*.h ${QUORVIN_SOURCE_ROOT}/src/util/*.h)
  foreach(unit CatalogueRelease CatalogueSignature RootChain SignatureLines TrustRoot)
    list(APPEND sources ${QUORVIN_SOURCE_ROOT}/src/engine/${unit}.cpp
         ${QUORVIN_SOURCE_ROOT}/src/engine/${unit}.h)
  endforeach()
  list(APPEND sources ${QUORVIN_SOURCE_ROOT}/cmake/RootCheck.cpp
       ${QUORVIN_SOURCE_ROOT}/cmake/root-check/CMakeLists.txt)
  set(fingerprint "")
  foreach(source ${sources})
    file(SHA256 ${source} hash)
    string(APPEND fingerprint ${hash})
  endforeach()
  string(SHA256 fingerprint "${fingerprint}")
  set(folder ${CMAKE_BINARY_DIR}/root-check)
  set(checker ${folder}/bin-${fingerprint}/root-check)
  if(NOT EXISTS ${checker})
    message(STATUS "Building the root check")
    file(REMOVE_RECURSE ${folder})
    try_compile(built ${folder}/build ${QUORVIN_SOURCE_ROOT}/cmake/root-check QuorvinRootCheck
                root-check
                CMAKE_FLAGS "-DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${folder}/bin-${fingerprint}"
                OUTPUT_VARIABLE output)
    if(NOT built OR NOT EXISTS ${checker})
      message(FATAL_ERROR "The root check could not be built:\n${output}")
    endif()
  endif()
  set(${out_var} ${checker} PARENT_SCOPE)
endfunction()

# Stops the configuration unless the root and its signatures verify.
function(quorvin_check_root root signatures)
  if(NOT EXISTS "${root}")
    message(FATAL_ERROR "QUORVIN_ROOT_FILE names ${root}, which does not exist.")
  endif()
  if(NOT EXISTS "${signatures}")
    message(FATAL_ERROR "The root ${root} has no signatures: ${signatures} is missing.  Sign "
                        "it with `quorvin-publish root-sign SECRET_FILE ${root}`.")
  endif()
  file(SHA256 "${root}" root_hash)
  file(SHA256 "${signatures}" signatures_hash)
  set(checked "${root_hash}-${signatures_hash}")
  if(QUORVIN_ROOT_CHECKED STREQUAL checked)
    return()
  endif()
  quorvin_root_checker(checker)
  execute_process(COMMAND ${checker} ${root} ${signatures}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "QUORVIN_ROOT_FILE ${root} does not verify: ${output}")
  endif()
  message(STATUS "The root of trust ${root}: ${output}")
  set(QUORVIN_ROOT_CHECKED "${checked}" CACHE INTERNAL "The root file contents last checked")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/CataloguePublicKey.cmake)
quorvin_check_catalogue_public_key("${QUORVIN_CATALOGUE_PUBLIC_KEY}" QUORVIN_CATALOGUE_KEY_TEXT)
set(QUORVIN_ROOT_SIGNATURES "")
if(NOT QUORVIN_ROOT_FILE STREQUAL "")
  if(NOT QUORVIN_CATALOGUE_KEY_TEXT STREQUAL "")
    message(FATAL_ERROR "Set QUORVIN_ROOT_FILE or QUORVIN_CATALOGUE_PUBLIC_KEY, not both: the "
                        "key is a shorthand for a root of that one key.")
  endif()
  get_filename_component(QUORVIN_ROOT_FILE "${QUORVIN_ROOT_FILE}" ABSOLUTE)
  set(QUORVIN_ROOT_SIGNATURES "${QUORVIN_ROOT_FILE}.sig")
  quorvin_check_root("${QUORVIN_ROOT_FILE}" "${QUORVIN_ROOT_SIGNATURES}")
  set(QUORVIN_TRUST root)
elseif(NOT QUORVIN_CATALOGUE_KEY_TEXT STREQUAL "")
  set(QUORVIN_TRUST key)
else()
  set(QUORVIN_TRUST none)
  message(WARNING "This build trusts no root and no key: it installs whatever a server serves "
                  "it, unchecked.  Set QUORVIN_ROOT_FILE (or QUORVIN_CATALOGUE_PUBLIC_KEY) for a "
                  "build to give to users; the package target refuses this one unless "
                  "QUORVIN_ALLOW_UNSIGNED=ON.")
endif()

quorvin_bytes_of("${QUORVIN_ROOT_FILE}" QUORVIN_ROOT_TEXT_BYTES)
quorvin_bytes_of("${QUORVIN_ROOT_SIGNATURES}" QUORVIN_ROOT_SIGNATURE_BYTES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/BuiltInRoot.h.in ${QUORVIN_GENERATED_DIR}/BuiltInRoot.h
               @ONLY)
# A changed root file configures the build again.
if(NOT QUORVIN_ROOT_FILE STREQUAL "")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${QUORVIN_ROOT_FILE} ${QUORVIN_ROOT_SIGNATURES})
endif()
