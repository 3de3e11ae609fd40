#pragma once
// The information box as the layers below the window reach it.  The window
// installs a hook that shows the real modal box; without one (tools, tests
// of the core) the text goes to standard error, so no message is lost.
#include <functional>
#include <string>

using InformationBoxHook = std::function<void(const std::string&)>;

// Installs the function that shows an information box; an empty function
// removes it again.
void SetInformationBoxHook(InformationBoxHook hook);

// Shows the text in an information box with a single OK button and returns
// when the user has closed it.
void ShowInformationBox(const std::string& text);
