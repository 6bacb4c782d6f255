// WinINet, synchronous: one request at a time, the body read in large blocks straight
// into the partial file, which the updater watches grow. Nothing goes into the system
// cache and no cookie is sent or kept.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <charconv>
#include <vector>

#include "companion/CompanionDownload.h"
#include "protocol/FileMd5.h"
#include "system/HttpClient.h"
#include "protocol/Utf8TextFile_win.h"
#include "system/PathLib.h"
#include "system/Text.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

namespace zel::companion {
namespace {

constexpr DWORD kReadBlock = 256 * 1024;
// Written in slices: under Wine a single write of 256 KiB or more costs twice as much
// per byte as one of 64 KiB (measured: 256 MiB in 64 KiB writes ~300 ms, in 256 KiB
// writes ~650 ms, in 1 MiB writes ~1500 ms).
constexpr DWORD kWriteSlice = 64 * 1024;
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kTransferTimeoutMs = 30000;  // without a byte received or sent
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;

// How one request ended.
enum class Attempt {
  kComplete,   // the file has the package's size
  kBroken,     // no connection, or it broke off: worth another try
  kBusy,       // the server had a passing trouble: worth another try
  kStartOver,  // the server did not give the rest: ask for the whole file
  kRefused,
  kWrongSize,
  kCannotWrite,
};

std::optional<std::string> QueryText(HINTERNET request, DWORD info) {
  wchar_t buffer[256];
  DWORD bytes = sizeof buffer;
  if (!HttpQueryInfoW(request, info, buffer, &bytes, nullptr)) return std::nullopt;
  return Narrow(std::wstring_view(buffer, bytes / sizeof(wchar_t)));
}

std::optional<std::uint64_t> ParseLength(const std::optional<std::string>& text) {
  std::uint64_t value = 0;
  if (!text || text->empty()) return std::nullopt;
  const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || ptr != text->data() + text->size()) return std::nullopt;
  return value;
}

class Download {
 public:
  Download(const DownloadTask& task, const std::string& folder)
      : task_(task),
        paths_(),
        partialPath_(paths_.JoinPath(folder, kPartialFileName)),
        recordPath_(paths_.JoinPath(folder, kPartialTaskFileName)) {}

  Exit Run() {
    // No write sharing: a second downloader for the same folder cannot open it, while
    // the updater can still measure it.
    partial_.Reset(CreateFileA(ToAnsi(partialPath_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length{};
    if (!partial_ || !GetFileSizeEx(partial_.Get(), &length)) return Exit::kCannotWrite;
    std::string recordText;
    clsUTF8TextFile().ReadFromUTF8File(recordPath_, recordText);
    offset_ = ResumeOffset(task_, ParseTaskFileText(recordText), length.QuadPart);
    if (offset_ == 0 && !StartOver()) return Exit::kCannotWrite;
    if (!SetFilePointerTo(offset_)) return Exit::kCannotWrite;

    session_.Reset(InternetOpenW(L"zelupdateget/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session_) return Exit::kNetwork;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                               INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                               INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
      DWORD ms = option == INTERNET_OPTION_CONNECT_TIMEOUT ? kConnectTimeoutMs : kTransferTimeoutMs;
      InternetSetOptionW(session_.Get(), option, &ms, sizeof ms);
    }
    buffer_.resize(kReadBlock);

    int retries = 0;
    int startOvers = 0;  // bounded too: a server may break off every time and never resume
    for (;;) {
      const std::uint64_t before = offset_;
      const Attempt attempt = offset_ == task_.size ? Attempt::kComplete : Fetch();
      if (offset_ > before) retries = 0;  // progress: the connection is worth trying again
      switch (attempt) {
        case Attempt::kComplete:
          return Verify();
        case Attempt::kStartOver:
          if (++startOvers > kRetries) return Exit::kRefused;
          if (!StartOver()) return Exit::kCannotWrite;
          continue;
        case Attempt::kBroken:
        case Attempt::kBusy:
          if (++retries > kRetries) return attempt == Attempt::kBusy ? Exit::kRefused : Exit::kNetwork;
          Sleep(RetryPauseMs(retries));
          continue;
        case Attempt::kRefused:
          return Exit::kRefused;
        case Attempt::kWrongSize:
          Discard();
          return Exit::kWrongSize;
        case Attempt::kCannotWrite:
          return Exit::kCannotWrite;
      }
    }
  }

 private:
  bool SetFilePointerTo(std::uint64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(partial_.Get(), to, nullptr, FILE_BEGIN) != FALSE;
  }

  // Empties the partial file, then records which package it now holds: a run that
  // stops in between finds an empty file and starts at byte 0 again.
  bool StartOver() {
    offset_ = 0;
    return SetFilePointerTo(0) && SetEndOfFile(partial_.Get()) &&
           clsUTF8TextFile().WriteMsgToUTF8File(recordPath_, false, TaskFileText(task_));
  }

  void Discard() {
    partial_.Reset();
    paths_.DelFile(partialPath_);
    paths_.DelFile(recordPath_);
  }

  Exit Verify() {
    partial_.Reset();
    paths_.DelFile(recordPath_);  // a complete file is never resumed
    if (AsciiLower(FileMd5(partialPath_, kCalgMd5)) == AsciiLower(task_.md5)) return Exit::kDone;
    paths_.DelFile(partialPath_);
    return Exit::kWrongMd5;
  }

  Attempt Fetch() {
    const auto url = SplitHttpUrl(task_.url);
    if (!url) return Attempt::kRefused;
    UniqueInternet connection(InternetConnectW(session_.Get(), Widen(url->host).c_str(), url->port, nullptr,
                                               nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Attempt::kBroken;
    UniqueInternet request(HttpOpenRequestW(connection.Get(), L"GET", Widen(url->target).c_str(), nullptr, nullptr,
                                            nullptr, kRequestFlags | (url->secure ? INTERNET_FLAG_SECURE : 0), 0));
    if (!request) return Attempt::kBroken;
    std::wstring range;
    if (offset_ > 0) range = L"Range: bytes=" + std::to_wstring(offset_) + L"-\r\n";
    if (!HttpSendRequestW(request.Get(), range.empty() ? nullptr : range.c_str(), static_cast<DWORD>(range.size()),
                          nullptr, 0))
      return Attempt::kBroken;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status < 100)
      return Attempt::kBroken;
    const AnswerUse use =
        JudgeAnswer(offset_, task_.size, static_cast<int>(status),
                    QueryText(request.Get(), HTTP_QUERY_CONTENT_RANGE).value_or(""),
                    ParseLength(QueryText(request.Get(), HTTP_QUERY_CONTENT_LENGTH)));
    switch (use) {
      case AnswerUse::kAppend:
        break;
      case AnswerUse::kFromStart:
        if (offset_ > 0 && !StartOver()) return Attempt::kCannotWrite;
        break;
      case AnswerUse::kStartOver:
        return Attempt::kStartOver;
      case AnswerUse::kRetry:
        return Attempt::kBusy;
      case AnswerUse::kRefused:
        return Attempt::kRefused;
      case AnswerUse::kWrongSize:
        return Attempt::kWrongSize;
    }
    return ReceiveBody(request.Get());
  }

  // Appends the body to the partial file at offset_.
  Attempt ReceiveBody(HINTERNET request) {
    for (;;) {
      DWORD read = 0;
      if (!InternetReadFile(request, buffer_.data(), kReadBlock, &read)) return Attempt::kBroken;
      if (read == 0) return offset_ == task_.size ? Attempt::kComplete : Attempt::kBroken;
      if (offset_ + read > task_.size) return Attempt::kWrongSize;
      for (DWORD done = 0; done < read;) {
        const DWORD slice = std::min(kWriteSlice, read - done);
        DWORD written = 0;
        if (!WriteFile(partial_.Get(), buffer_.data() + done, slice, &written, nullptr) || written != slice)
          return Attempt::kCannotWrite;
        done += slice;
        offset_ += slice;
      }
    }
  }

  const DownloadTask task_;
  const ClsPathLib paths_;
  const std::string partialPath_;
  const std::string recordPath_;
  UniqueFile partial_;
  UniqueInternet session_;
  std::vector<BYTE> buffer_;
  std::uint64_t offset_ = 0;
};

}  // namespace

Exit DownloadPackageFile(const DownloadTask& task, const std::string& folder) {
  try {
    return Download(task, folder).Run();
  } catch (...) {
    return Exit::kCannotWrite;
  }
}

}  // namespace zel::companion
