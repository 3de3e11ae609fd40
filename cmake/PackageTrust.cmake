# Read by CPack before it packs (CPACK_PROJECT_CONFIG_FILE): a build that
# trusts no root of trust is not packed unless it was configured with
# QUORVIN_ALLOW_UNSIGNED=ON.
if(CPACK_QUORVIN_TRUST STREQUAL "none" AND NOT CPACK_QUORVIN_ALLOW_UNSIGNED)
  message(FATAL_ERROR
    "This build trusts no root of trust: the updater it packages would install whatever a "
    "server serves it.  Configure it with QUORVIN_ROOT_FILE (or QUORVIN_CATALOGUE_PUBLIC_KEY), "
    "or with QUORVIN_ALLOW_UNSIGNED=ON to package it all the same.")
endif()
