#pragma once
// Turning a response body into text for an error message.
#include <string>

class TMemoryStream;

// The body as UTF-8 text.  The character set is the "charset" parameter of
// the content type, else for HTML the one its meta elements declare; UTF-8
// and US-ASCII are taken as they are, the Latin-1 family is converted, and a
// body in any other or no declared set is kept when it is valid UTF-8 and
// read as Latin-1 otherwise.
std::string ErrorBodyText(const TMemoryStream& body, const std::string& contentType,
                          const std::string& charSet);

// The character set an HTML text declares in a meta element carrying an
// HTTP-EQUIV attribute ("content=...; charset=X"), or in a meta charset
// attribute; "" when none.
std::string HtmlMetaCharSet(const std::string& html);
