// The package download routes. The companion route starts zelupdateget.exe and
// measures its partial file once a second; the range route asks the platform's HTTP
// client for one piece after another and polls it in 10 ms steps so that the window
// stays serviced; the system route is one call to URL Moniker's download.
// clang-format off
#include "system/DelayImports_win.h"
#include <urlmon.h>
// clang-format on

#include <chrono>
#include <mutex>
#include <thread>

#include "protocol/DownloadTask.h"
#include "protocol/PackageDownload.h"
#include "protocol/Utf8TextFile_win.h"
#include "system/Folders.h"
#include "system/Guarded.h"
#include "system/HttpClient.h"
#include "system/PathLib.h"
#include "system/Platform.h"
#include "system/Process_win.h"
#include "system/ScopeExit.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"
#include "system/WorkerThread.h"

namespace zel {
namespace {

constexpr DWORD kCompanionWaitMs = 1000;
constexpr int kStatePolls = 120;
constexpr std::uint32_t kPollSleepMs = 10;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void ShowProgress(const std::string& format, double done, double total, ProgressSink& sink) {
  if (const auto text = ProgressText(format, done, total)) sink.SetStatus(*text);
}

// Polls the request until its answer is complete, at most kStatePolls times, letting
// the window process its messages between polls.
bool AwaitAnswer(const HttpClient& client) {
  for (int poll = 1; !client.IsDone(); ++poll) {
    if (poll == kStatePolls) return false;
    CurrentPlatform().SleepMs(kPollSleepMs);
    CurrentPlatform().PumpMessages();
  }
  return true;
}

bool WriteAt(HANDLE file, std::int64_t offset, const Bytes& bytes) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  DWORD written = 0;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// The request loop of the range route, into the open target file.
bool FetchRanges(const std::string& url, std::int32_t size, HANDLE file, const std::string& format,
                 ProgressSink& sink) {
  const std::unique_ptr<HttpClient> client = CurrentPlatform().NewHttpClient();
  if (!client) return false;
  RangePlan plan(size);
  for (;;) {
    // Package hosts often send the download on to a mirror.
    const HttpRequest request{
        "GET", url, {{"Range", plan.RangeHeader()}, {"Content-Type", "application/octet-stream"}}, {}, true};
    if (!client->Start(request) || !AwaitAnswer(*client)) return false;
    const HttpResponse* answer = client->Response();
    if (!answer) return false;
    const RangePlan::Step step =
        plan.Take(answer->status, answer->body.size(), answer->Header("Content-Range"));
    if (step.verdict == RangePlan::Verdict::kFail) return false;
    if (step.verdict == RangePlan::Verdict::kComplete) return true;
    if (!WriteAt(file, step.offset, answer->body)) return false;
    if (step.got && !format.empty()) {
      if (step.got->total == 0) return false;  // no percentage of nothing: the answer is unusable
      ShowProgress(format, static_cast<double>(step.got->last), static_cast<double>(step.got->total), sink);
    }
    if (step.verdict == RangePlan::Verdict::kStoreAndFinish) return true;
    CurrentPlatform().PumpMessages();
  }
}

// The status callback of one URL download. It notes every sign of life of the
// download, and its own thread aborts the download's binding once none came for
// stallMs: the system's URL download has no time-out of its own under Wine (a server
// that takes the connection and never answers held it for good), and WinINet's
// settings elsewhere may allow an hour. Lives on the caller's stack, longer than the
// download it watches.
class StallWatch final : public IBindStatusCallback {
 public:
  explicit StallWatch(std::uint32_t stallMs) : stallTime_(stallMs), thread_([this] { Watch(); }) {}
  ~StallWatch() {
    finished_.Set();
    thread_.join();
  }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IBindStatusCallback) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IBindStatusCallback*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
    std::lock_guard lock(mutex_);
    binding_ = ComPtr<IBinding>::Share(binding);
    lastSign_ = Clock::now();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override {
    std::lock_guard lock(mutex_);
    lastSign_ = Clock::now();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  void Watch() {
    while (!finished_.WaitFor(std::chrono::seconds(1))) {
      ComPtr<IBinding> silent;
      {
        std::lock_guard lock(mutex_);
        if (!binding_ || Clock::now() - lastSign_ < stallTime_) continue;
        silent = ComPtr<IBinding>::Share(binding_.Get());
        lastSign_ = Clock::now();  // one abort per silence
      }
      silent->Abort();  // outside the lock: the abort may call back into this object
    }
  }

  using Clock = std::chrono::steady_clock;
  const std::chrono::milliseconds stallTime_;
  DoneSignal finished_;
  std::mutex mutex_;
  ComPtr<IBinding> binding_;               // guarded by mutex_
  Clock::time_point lastSign_ = Clock::now();  // guarded by mutex_
  std::thread thread_;                     // last: starts when the rest is ready
};

}  // namespace

bool DownloadPackage(const std::string& version, const std::string& url, std::int32_t size,
                     const std::string& md5, const std::string& format, ProgressSink& sink) {
  return Guarded("companion download", false, [&] {
    const ClsPathLib paths;
    const std::string folder = GetUserDataDir();
    const std::string partial = paths.JoinPath(folder, kPartialPackageName);
    const std::string companion = GetAppDir() + kCompanionName;
    // The task file holds the size as an unsigned number; no companion fetches a
    // negative size.
    if (!paths.IsFile(companion) || size < 0) return false;
    const std::string task = GetTempFilePath();
    const DownloadTask job{version, url, static_cast<std::uint32_t>(size), md5};
    if (!clsUTF8TextFile().WriteMsgToUTF8File(task, false, TaskFileText(job))) return false;

    ProcessInfo process;
    if (!StartProcess(companion, Quoted(task) + " " + Quoted(folder), process)) return false;
    std::int32_t done = 0;
    for (;;) {
      CurrentPlatform().PumpMessages();
      const DWORD waited = WaitForSingleObject(process.process.Get(), kCompanionWaitMs);
      const std::int32_t current = paths.MyGetFileSize(partial);
      if (current > 0) done = current;
      if (waited != WAIT_TIMEOUT) break;  // ended, or the wait itself failed
      if (format.empty()) continue;
      // The display is only a display: a failure there does not end the watch.
      GuardedStep("download progress", [&] { ShowProgress(format, done, size, sink); });
      if (done == size) break;
    }
    // The companion may go on running; the task file stays where it is.
    return done == size;
  });
}

bool HttpRangeDownload(const std::string& url, std::int32_t size, const std::string& target,
                       const std::string& format, ProgressSink& sink) {
  const ClsPathLib paths;
  bool complete = false;
  // Whatever ends the download short, no target file is left behind.
  const ScopeExit removeUnfinished([&] {
    if (!complete) GuardedStep("unfinished download removal", [&] { paths.DelFile(target); });
  });
  complete = Guarded("range download", false, [&] {
    // Every download starts at byte 0: nothing of an earlier run is continued.
    paths.DelFile(target);
    UniqueFile file(CreateFileA(ToAnsi(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool fetched = size >= 0 && FetchRanges(RangeDownloadUrl(url), size, file.Get(), format, sink);
    file.Reset();  // closed before the target may be deleted
    return fetched;
  });
  return complete;
}

bool DownloadUrlToFile(const std::string& url, const std::string& target, std::uint32_t stallMs) {
  return Guarded("system download", false, [&] {
    const std::string ansiUrl = ToAnsi(url);
    // A copy kept from an earlier download of the same address would be handed out
    // again instead of the package the server has now.
    DeleteUrlCacheEntryA(ansiUrl.c_str());
    StallWatch watch(stallMs);
    return URLDownloadToFileA(nullptr, ansiUrl.c_str(), ToAnsi(target).c_str(), 0, &watch) == S_OK;
  });
}

}  // namespace zel
