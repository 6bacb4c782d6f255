// The automation servers of installed programs, asked through COM's IDispatch.
#pragma once
#include <optional>
#include <string>

#include "system/Platform.h"

namespace zel {

// The real question behind the platform's AskAutomationServer.
std::optional<AutomationServerFacts> QueryAutomationServer(const std::string& progId);

}  // namespace zel
