// The update query's HTTP POST.
#pragma once
#include <string>
#include <string_view>

#include "system/HttpClient.h"

namespace zel {

// Posts the form body to url and returns the answer text of a 200 answer; the empty
// text for any other status (at once) or after three failed transfers, each failure
// but the last followed by a plain 60-second wait. Each attempt uses a new request
// object of the platform.
std::string HttpPostForm(std::string_view url, std::string_view body);

// The request of one attempt: the eight form headers in their order, then the body.
HttpRequest FormPostRequest(std::string_view url, std::string_view body);

}  // namespace zel
