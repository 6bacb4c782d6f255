// Signed updates. A program built with update keys seals its query (the keys it can
// verify with and a fresh nonce), accepts an answer only when one of its keys vouches
// for that answer to that query, and holds the package to the SHA-256 the answer
// names as well as to its MD5: when it is downloaded, whenever a start accepts the
// cache, and once more right before an installer starts. Built without keys, the
// program does none of this.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "protocol/FileMd5.h"
#include "protocol/FormPost.h"

namespace zel {

// True when the program was built with update keys.
bool SignedUpdates();

// The seal of a query; no value without keys (Windows build).
std::optional<AnswerSealRequest> QuerySeal();

// True when the answer carries exactly one signature, by a key the query named, over
// this request body, the query's nonce and the answer's bytes (Windows build).
bool AnswerIsAuthentic(const PostedAnswer& answer, std::string_view requestBody);

// Whether a file's digests (FileMd5AndSha256) are the ones expected.
bool DigestsMatch(const FileDigests& digests, const std::string& md5, const std::string& sha256);

}  // namespace zel
