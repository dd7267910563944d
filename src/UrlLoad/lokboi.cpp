// Freshness of a node's local copy: the node is marked previously downloaded
// when its local file exists and the server's time exceeds the file's by
// less than a second (the transfer stamps files with the server time, so an
// unchanged server copy compares equal). A 206 answer is never marked: its
// body is the rest of the local file and must be appended.
#include <cstdint>

#include "UrlLoad.h"
#include "host_calls.h"

using x7::pending;

namespace {

constexpr std::uint64_t kThresholdMs = 1000;

// server - local < 1000 over the full signed 64-bit range, without the
// overflow a plain subtraction would risk at the extremes.
bool isCurrent(jlong server, jlong local) {
  if (server < local) return true;
  const std::uint64_t ahead = static_cast<std::uint64_t>(server) - static_cast<std::uint64_t>(local);
  return ahead < kThresholdMs;
}

}  // namespace

JNIEXPORT void JNICALL Java_UrlLoad_lokboi(JNIEnv* env, jobject crawler, jobject local, jobject node) {
  const auto present = x7::call<jboolean>(env, local, "exists", "()Z");
  if (!present || !*present) return;

  const auto code = x7::call<jint>(env, node, "getResponseCode", "()I");
  if (!code || *code == 206) return;

  jmethodID getServerTime = x7::methodOf(env, node, "getLastModified", "()J");
  if (getServerTime == nullptr) return;
  jmethodID getLocalTime = x7::methodOf(env, local, "lastModified", "()J");
  if (getLocalTime == nullptr) return;
#ifdef _WIN32
  const auto localTime = x7::call<jlong>(env, local, getLocalTime);
  if (!localTime) return;
  const auto server = x7::call<jlong>(env, node, getServerTime);
  if (!server) return;
#else
  const auto server = x7::call<jlong>(env, node, getServerTime);
  if (!server) return;
  const auto localTime = x7::call<jlong>(env, local, getLocalTime);
  if (!localTime) return;
#endif

  if (isCurrent(*server, *localTime)) x7::callVoid(env, node, "setPreviouslyDownloaded");
}
