#pragma once
// Turning a response body into text for an error message.
#include <string>
#include <string_view>

class TMemoryStream;

// The body as UTF-8 text.  The character set is the "charset" parameter of
// the content type, else for HTML the one its meta elements declare; UTF-8
// and US-ASCII are taken as they are, the Latin-1 family is converted, and a
// body in any other or no declared set is kept when it is valid UTF-8 and
// read as Latin-1 otherwise.  When the stream dropped bytes at its keep
// limit, a character that the cut split in two is left out.  Costs one pass
// over the body and the memory of the text it returns.
std::string ErrorBodyText(const TMemoryStream& body, const std::string& contentType,
                          const std::string& charSet);

// The character set an HTML text declares in a meta element carrying an
// HTTP-EQUIV attribute ("content=...; charset=X"), or in a meta charset
// attribute; "" when none.  A meta element runs from "<meta" to the next ">"
// or, when a "<" comes first or there is no ">", to that "<" or the end, so
// no byte is looked at in more than one element and the scan is linear.
std::string HtmlMetaCharSet(std::string_view html);
