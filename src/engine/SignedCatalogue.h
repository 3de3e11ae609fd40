#pragma once
// Verification of a fetched catalogue in a build with a key, before the
// catalogue is stored: its signature is fetched on the same connection and
// checked, then its section "release" against the serial accepted before and
// the clock (CatalogueSignature.h, CatalogueRelease.h).  A catalogue that
// passes has its serial recorded; one that fails raises
// ECatalogueNotVerified and nothing is stored.
#include <string_view>

#include "engine/UpdaterContext.h"

// True when the context holds a key: catalogues must then be signed.
bool CatalogueMustBeSigned(const TUpdaterContext& context);

// Raises ECatalogueNotVerified when the catalogue cannot be trusted, EAbort
// when Exit cut the signature's transfer, and the network errors of a
// transfer that failed.
void VerifyCatalogue(TUpdaterContext& context, std::string_view catalogue);
