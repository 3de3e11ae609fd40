#pragma once
// Verification of a fetched catalogue in a build with a root, before the
// catalogue is stored: its signatures are fetched on the same connection and
// checked against the catalogue keys of the current root (RootUpdate.h),
// then its section "release" against the serial accepted before under those
// keys and the clock (CatalogueSignature.h, CatalogueRelease.h,
// AcceptedSerial.h).  A catalogue that passes has its serial recorded; one
// that fails raises ECatalogueNotVerified and nothing is stored.
#include <string_view>

#include "engine/TrustRoot.h"
#include "engine/UpdaterContext.h"

// True when the build holds a root (or the one key that stands for one):
// catalogues must then be signed.
bool CatalogueMustBeSigned(const TUpdaterContext& context);

// Raises ECatalogueNotVerified when the catalogue cannot be trusted under
// `root`, EAbort when Exit cut the signature's transfer, and the network
// errors of a transfer that failed.
void VerifyCatalogue(TUpdaterContext& context, const engine::TRoot& root,
                     std::string_view catalogue);
