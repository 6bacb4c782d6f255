// The update query's HTTP POST.
#pragma once
#include <string>
#include <string_view>

#include "protocol/HttpClient.h"

namespace zel {

// Posts the form body to url and returns the answer text of a 200 answer; the empty
// text for any other status (at once) or after three failed transfers, each failure
// but the last followed by a plain 60-second wait. Windows build only.
std::string HttpPostForm(std::string_view url, std::string_view body);

// HttpPostForm over the request objects that makeClient gives, one per attempt.
std::string HttpPostFormWith(const HttpClientFactory& makeClient, std::string_view url,
                             std::string_view body);

// The request of one attempt: the eight form headers in their order, then the body.
HttpRequest FormPostRequest(std::string_view url, std::string_view body);

}  // namespace zel
