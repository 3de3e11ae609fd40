#include "SignedEntries.h"

#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "util/QuorvinSI.h"
#include "util/allfunct.h"

std::vector<TSignedEntry> SignedEntries(const std::string& catalogueBytes) {
  std::vector<TSignedEntry> entries;
  TCatalogue catalogue(TCatalogueBytes{catalogueBytes});
  TStringList modules;
  catalogue.ReadModules(modules);
  for (int m = 0; m < modules.Count(); ++m) {
    if (IsReleaseSection(modules[m])) continue;
    TStringList components;
    catalogue.ReadComponents(modules[m], components);
    for (int c = 0; c < components.Count(); ++c) {
      const std::string entry = catalogue.Entry(modules[m], components[c]);
      TQuorvinSI fields;
      fields.SetDelimiter(',');
      fields.SetSourceString(entry);
      const TStringList& list = fields.FieldList();
      entries.push_back({modules[m], components[c],
                         list.Count() > kEntryComponentFile
                             ? BareFileName(list[kEntryComponentFile])
                             : std::string(),
                         engine::ExpectedFileOfEntry(entry, true), engine::ReadDeltaOffer(list)});
    }
  }
  return entries;
}
