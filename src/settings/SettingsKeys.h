// Every section and key of config.dat, the program's settings file. Several keys are
// written only as records for the rest of the product and never read back here.
#pragma once

namespace zel::settings {

inline constexpr char kFileName[] = "config.dat";

inline constexpr char kGeneral[] = "general";
inline constexpr char kLastCheckUpdate[] = "LastCheckUpdate";  // date text of the last update query
inline constexpr char kInstalledDate[] = "InstalledDate";      // date text of the first run; "" = first run
inline constexpr char kInstalledUUID[] = "InstalledUUID";
inline constexpr char kUpdateURL[] = "UpdateURL";  // address of the update service

inline constexpr char kVersions[] = "versions";
inline constexpr char kLocalAppVer[] = "LocalAppVer";    // installed product version
inline constexpr char kServerAppVer[] = "ServerAppVer";  // latest version known

inline constexpr char kOffice[] = "Office";
inline constexpr char kAppName[] = "AppName";  // default document program
inline constexpr char kAppVer[] = "AppVer";
inline constexpr char kInstallPath[] = "InstallPath";

inline constexpr char kUpdate[] = "UPDATE";            // the package cache
inline constexpr char kCacheDate[] = "CacheDate";      // date text of the day cached; "" = empty cache
inline constexpr char kPackageSize[] = "PackageSize";  // bytes, decimal; "0" = none
inline constexpr char kPackageHash[] = "PackageHash";  // MD5 as hex digits; "" = none
// SHA-256 as hex digits; "" = none. Kept only by a program built with update keys.
inline constexpr char kPackageSha256[] = "PackageSha256";

// Default of "LastCheckUpdate": never equal to a date text, so the check is due.
inline constexpr char kNeverChecked[] = "0";

}  // namespace zel::settings
