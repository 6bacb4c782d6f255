#include "driver/PackageSteps.h"

#include "protocol/TextCodecs.h"

namespace zel {

namespace {
constexpr char kSupportContact[] = "如需帮助，请联系Zel卫士技术支持: support@zelvora.cn";
constexpr std::size_t kSha256HexLength = 64;
}

PackageCheck CheckPackageInfo(const PackageInfo& info, bool signedAnswer) {
  if (!info.packageUrl || info.packageUrl->empty() || !info.size || *info.size <= 0) return {"获取校验信息失败", {}};
  if (!info.hash || info.hash->empty()) return {"未找到校验值", {}};
  if (signedAnswer && (!info.sha256 || info.sha256->size() != kSha256HexLength)) return {"未找到校验值", {}};
  std::string address = HexDecodeText(*info.packageUrl);
  if (address.empty()) return {"获取升级包地址失败", {}};
  return {{}, std::move(address)};
}

std::string DigestErrorText(const std::string& digest) {
  return "升级包校验值错误:" + digest + "\r\n" + kSupportContact;
}

}  // namespace zel
