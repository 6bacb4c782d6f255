// The update query's HTTP POST.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "system/HttpClient.h"

namespace zel {

// What a program built with update keys adds to each attempt, so that the service
// signs its answer: the keys it can verify with, and a fresh nonce.
struct AnswerSealRequest {
  std::string keyIds;                     // "X-Zel-Key-Id"
  std::function<std::string()> newNonce;  // "X-Zel-Nonce", one per attempt
};

// The answer of a POST with what its signature check needs.
struct PostedAnswer {
  std::string text;                     // as HttpPostForm gives it
  std::string body;                     // the 200 answer's exact bytes
  std::string nonce;                    // what the answering attempt sent
  std::vector<std::string> signatures;  // every "X-Zel-Signature" of the answer
};

// Posts the form body to url and returns the answer text of a 200 answer; the empty
// text for any other status (at once) or after three failed transfers, each failure
// but the last followed by a plain 60-second wait. Each attempt uses a new request
// object of the platform.
std::string HttpPostForm(std::string_view url, std::string_view body);
// The same POST, each attempt sealed when `seal` is given.
PostedAnswer HttpPostSealed(std::string_view url, std::string_view body, const AnswerSealRequest* seal);

// The request of one attempt: the eight form headers in their order, then the body;
// a sealed attempt adds its two headers after them.
HttpRequest FormPostRequest(std::string_view url, std::string_view body);

}  // namespace zel
