# Checks the two base URLs compiled into the program.  The program appends
# "download/allfiles.ini" and "download/" plus a file name to
# QUORVIN_DOWNLOAD_URL, and "history" to QUORVIN_WEB_URL, so each must name
# a host, end in "/" and hold nothing the request line cannot carry.  The
# download server is reached by the program's own client, which speaks plain
# http only; the history page opens in the user's browser, so https is fine
# there.
#
# Included by the top-level CMakeLists.txt; runs on its own too:
#   cmake -DQUORVIN_DOWNLOAD_URL=... -DQUORVIN_WEB_URL=... -P cmake/QuorvinUrls.cmake

# Sets `out` to what is wrong with `url`, or to "" when nothing is.  `schemes`
# is a regular expression of the schemes allowed, `described` the same in words.
function(quorvin_base_url_problem url schemes described out)
  string(TOLOWER "${url}" lower)
  set(needed "an ${described} URL that names a host and ends in \"/\"")
  set(problem "")
  if(url MATCHES "[^!-~]|[\"\\\\?#]")
    set(problem "it must be ${needed}, written in printable ASCII without spaces, quotes, "
                "backslashes, \"?\" or \"#\".")
  elseif(NOT lower MATCHES "^(${schemes})://[^/]")
    set(problem "it must be ${needed}.")
  elseif(NOT url MATCHES "/$")
    set(problem "it must end in \"/\", as the program appends file names to it.")
  endif()
  string(JOIN "" problem ${problem})
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

function(quorvin_check_base_url name schemes described)
  quorvin_base_url_problem("${${name}}" "${schemes}" "${described}" problem)
  if(problem)
    message(FATAL_ERROR "${name} is \"${${name}}\": ${problem}")
  endif()
endfunction()

if(NOT QUORVIN_URLS_FUNCTIONS_ONLY)
  quorvin_check_base_url(QUORVIN_DOWNLOAD_URL "http" "http://")
  quorvin_check_base_url(QUORVIN_WEB_URL "http|https" "http:// or https://")
endif()
