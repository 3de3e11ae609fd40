#pragma once
// The pages the demo server builds in memory: the vendor's version history
// of the Computer QUORVIN products (the updater's History button opens it)
// and a small index page at the root.
#include <string>

std::string HistoryPageHtml();
std::string IndexPageHtml();
