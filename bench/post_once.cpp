// The floor of a checking run: a Win32 program that starts, sends one update query to
// the built-in service address with WinINet, reads the answer and ends. Exit code 0
// when the service answered with status 200.
#include <windows.h>
#include <wininet.h>

#include <string>

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

// A short query, sent plain (zip=0): what the service needs to answer it.
std::string QueryBody() {
  const std::string query = "AppVer=" + Hex("2.1.0") + "&ExecutionLevel=" + Hex("0") +
                            "&UUID=" + Hex("3F2504E0-4F89-11D3-9A0C-0305E82C3301") +
                            "&OSMajorVer=" + Hex("6");
  const std::string data = Hex(query);
  return "size=" + std::to_string(data.size()) + "&checksum=0&zip=0&data=" + data;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  HINTERNET session = InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)",
                                    INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET connection = session ? InternetConnectW(session, L"update.zelvora.cn", 80, nullptr, nullptr,
                                                    INTERNET_SERVICE_HTTP, 0, 0)
                                 : nullptr;
  HINTERNET request = connection
                          ? HttpOpenRequestW(connection, L"POST", L"/zelguard/update1", nullptr, nullptr,
                                             nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                          : nullptr;
  const wchar_t headers[] =
      L"Accept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      L"Cache-Control: no-cache\r\n";
  std::string body = QueryBody();
  DWORD status = 0, size = sizeof status;
  const bool sent =
      request && HttpSendRequestW(request, headers, DWORD(-1), body.data(), static_cast<DWORD>(body.size()));
  if (sent) HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  std::string answer;
  char chunk[4096];
  DWORD read = 0;
  while (sent && InternetReadFile(request, chunk, sizeof chunk, &read) && read > 0)
    answer.append(chunk, read);
  for (HINTERNET h : {request, connection, session})
    if (h) InternetCloseHandle(h);
  return status == 200 ? 0 : 1;
}
