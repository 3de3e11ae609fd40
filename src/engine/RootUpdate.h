#pragma once
// The root of trust a run works under.  It starts from the root built into
// the program, follows the roots kept in the program folder (KeptRoots.h),
// then asks the download server for the next ones in turn,
// "download/root/<N+1>.root" and its signatures "download/root/<N+1>.root.sig",
// until the server has none (HTTP status 404 or 410).  Each is accepted as
// RootChain.h says; what was accepted is kept for the next run.
//
// Any other failure (another HTTP error status, a root that does not
// verify, a newest root that has expired) raises ECatalogueNotVerified,
// whose text gives an HTTP failure by its status code alone.
#include <optional>

#include "engine/TrustRoot.h"
#include "engine/UpdaterContext.h"

namespace engine {

inline constexpr const char* kRootFolderPath = "download/root/";  // below the base URL
inline constexpr const char* kRootSuffix = ".root";
inline constexpr const char* kRootSignatureSuffix = ".root.sig";

// The root built into the program; nothing in a build without one.  Raises
// ECatalogueNotVerified when what the build holds is no valid root.
std::optional<TRoot> BuiltInRoot(const TUpdaterContext& context);

// The newest root the chain leads to, for a build with a root; raises as
// above, EAbort when Exit cut a transfer, and the network errors of a
// transfer that failed.
TRoot CurrentRoot(TUpdaterContext& context);

}  // namespace engine
