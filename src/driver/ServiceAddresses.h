// The built-in addresses: the vendor's update service under the product's own domain,
// and a large public site of the product's market whose host is pinged to learn
// whether the network is up at all.
#pragma once

namespace zel {

inline constexpr char kBuiltInUpdateURL[] = "http://update.zelvora.cn/zelguard/update1";
inline constexpr char kProbeAddress[] = "https://www.baidu.com/";

}  // namespace zel
