#include "protocol/modHttpSend.h"

namespace zel {

std::string HttpPostForm(std::string_view url, std::string_view body) {
  return HttpPostFormWith(CreateHttpClient, url, body);
}

}  // namespace zel
