# Checks QUORVIN_CATALOGUE_PUBLIC_KEY, the Ed25519 public key that every
# catalogue must be signed with, before anything is built with it.
#
# The value is the base64 text (standard alphabet, with its "=" padding) of a
# 32-byte key, as `quorvin-publish keygen` prints it: 43 characters and one
# "=".  Blanks around it are dropped.  Empty means unsigned catalogues.  A
# key whose last character carries stray bits is not the canonical text of
# any key, and a key of 32 zero bytes is a placeholder, not a key: both are
# refused here, at configuration, rather than at the user's first update.
#
# Included by the top level; also runs on its own, which the tests use:
#   cmake -DQUORVIN_CATALOGUE_PUBLIC_KEY=<base64> -P cmake/CataloguePublicKey.cmake

# Sets `out_var` to the checked key (blanks dropped) or stops configuration.
function(quorvin_check_catalogue_public_key value out_var)
  string(STRIP "${value}" key)
  if(key STREQUAL "")
    set(${out_var} "" PARENT_SCOPE)
    return()
  endif()
  # 32 bytes: 42 characters of 6 bits, one that carries the last 4 bits and
  # two zero bits (so it is one of every fourth letter of the alphabet), "=".
  string(LENGTH "${key}" length)
  if(NOT key MATCHES "^[A-Za-z0-9+/]+=*$")
    set(reason "it holds characters that base64 does not use")
  elseif(NOT length EQUAL 44)
    set(reason "it is ${length} characters long, not 44 (43 and one \"=\")")
  elseif(NOT key MATCHES "^[^=]+=$")
    set(reason "it does not end in exactly one \"=\", as the text of 32 bytes does")
  elseif(NOT key MATCHES "[AEIMQUYcgkosw048]=$")
    set(reason "its last character before \"=\" carries bits beyond the 32 bytes")
  elseif(key STREQUAL "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=")
    set(reason "it is 32 zero bytes, a placeholder rather than a key")
  endif()
  if(DEFINED reason)
    message(FATAL_ERROR
      "QUORVIN_CATALOGUE_PUBLIC_KEY is not the base64 text of a 32-byte Ed25519 public key: "
      "${reason}.  Use the text that `quorvin-publish keygen SECRET_FILE` prints, or leave the "
      "variable empty for a build that does not verify catalogues.")
  endif()
  set(${out_var} "${key}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cmake_minimum_required(VERSION 3.25)
  quorvin_check_catalogue_public_key("${QUORVIN_CATALOGUE_PUBLIC_KEY}" checked)
  message(STATUS "catalogue public key: ${checked}")
endif()
