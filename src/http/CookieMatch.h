#pragma once
// The matching rules of cookies: which hosts belong to a cookie's domain and
// which request folders its path covers.  Letter case never matters.
#include <string_view>

namespace cookies {

bool SameTextIgnoringCase(std::string_view a, std::string_view b);
bool IsIpAddress(std::string_view host);
// The host belongs to the domain: equal, or a name (not an address) ending in
// "." and the domain.  Letter case does not matter.
bool DomainMatches(std::string_view host, std::string_view domain);
// The folder part of a request path, up to and including its last "/";
// "/" for a path that does not begin with "/".
std::string_view RequestDirectory(std::string_view requestPath);
// The cookie path covers the request folder: equal, or a prefix that ends in
// "/" or is followed by "/" in the folder.  Letter case does not matter.
bool PathMatches(std::string_view requestDirectory, std::string_view cookiePath);

}  // namespace cookies
