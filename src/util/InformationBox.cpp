#include "util/InformationBox.h"

#include <iostream>
#include <utility>

namespace {

InformationBoxHook& InstalledHook() {
  static InformationBoxHook hook;
  return hook;
}

}  // namespace

void SetInformationBoxHook(InformationBoxHook hook) { InstalledHook() = std::move(hook); }

void ShowInformationBox(const std::string& text) {
  if (InstalledHook()) {
    InstalledHook()(text);
    return;
  }
  std::cerr << "Information: " << text << std::endl;
}
