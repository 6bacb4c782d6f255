-- wrk script: update queries as the program posts them, each from another
-- installation; ZEL_PROFILE=full sends the full machine profile, ZEL_KEY_ID=ID
-- names that signing key with a nonce per query. Counts the answers that were
-- "try again" (not recorded) and the signed ones, and prints the totals at the end.
local function hex(s) return (s:gsub(".", function(c) return string.format("%02X", c:byte()) end)) end
local profile = os.getenv("ZEL_PROFILE") or "short"
local key_id = os.getenv("ZEL_KEY_ID") or ""
local bodies = {}
local request_headers = {}
local thread_id = 0
threads_list = {}
function setup(thread)
  thread:set("tid", thread_id)
  thread_id = thread_id + 1
  table.insert(threads_list, thread)
end
function init(args)
  for i = 1, 2000 do
    local q = "AppVer=" .. hex("2.0.0") .. "&ExecutionLevel=30&UUID=" .. hex(string.format("B-%d-%d-%d", tid or 0, i, math.random(1e9))) .. "&OSMajorVer=3130"
    if profile == "full" then
      q = q .. "&Arch=3634&OSName=" .. hex("Microsoft Windows 10 Pro") .. "&OSVer=" .. hex("10.0.19045") ..
        "&CPU=" .. hex("Intel(R) Core(TM) i5") .. "&Resolution=" .. hex("1920*1080") .. "&HttpsShellApp=" .. hex("chrome") ..
        "&DocShellApp=" .. hex("winword") .. "&DocShellVer=" .. hex("16") .. "&OfficeAddins=" .. hex("{}")
    end
    local d = hex(q)
    bodies[i] = "size=" .. #d .. "&checksum=0&zip=0&data=" .. d
    request_headers[i] = {["Content-Type"] = "application/x-www-form-urlencoded"}
    if key_id ~= "" then
      request_headers[i]["X-Zel-Key-Id"] = key_id
      request_headers[i]["X-Zel-Nonce"] = string.format("%08x%08x%08x%08x", math.random(0, 0x7fffffff), i,
        math.random(0, 0x7fffffff), tid or 0)
    end
  end
  n = 0
end
-- globals, so that done() can read each thread's count
try_again = 0
signed = 0
function response(status, headers, body)
  if status == 200 and body:find("temporarily", 1, true) then try_again = try_again + 1 end
  if headers["X-Zel-Signature"] then signed = signed + 1 end
end
function done(summary, latency, requests)
  -- per-thread counters are not shared back; the threads' own tables are
  local again, signed_total = 0, 0
  for _, t in ipairs(threads_list or {}) do
    again = again + (t:get("try_again") or 0)
    signed_total = signed_total + (t:get("signed") or 0)
  end
  io.write(string.format("ZEL answered=%d non2xx=%d errors=%d try_again=%d signed=%d\n", summary.requests,
    summary.errors.status, summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout,
    again, signed_total))
end
function request()
  n = n % #bodies + 1
  return wrk.format("POST", nil, request_headers[n], bodies[n])
end
