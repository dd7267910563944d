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
  jmethodID exists = x7::methodOf(env, local, "exists", "()Z");
  if (exists == nullptr) return;
  const jboolean present = env->CallBooleanMethod(local, exists);
  if (pending(env) || !present) return;

  jmethodID getCode = x7::methodOf(env, node, "getResponseCode", "()I");
  if (getCode == nullptr) return;
  const jint code = env->CallIntMethod(node, getCode);
  if (pending(env) || code == 206) return;

  jmethodID getServerTime = x7::methodOf(env, node, "getLastModified", "()J");
  if (getServerTime == nullptr) return;
  jmethodID getLocalTime = x7::methodOf(env, local, "lastModified", "()J");
  if (getLocalTime == nullptr) return;
  jlong server;
  jlong localTime;
#ifdef _WIN32
  localTime = env->CallLongMethod(local, getLocalTime);
  if (pending(env)) return;
  server = env->CallLongMethod(node, getServerTime);
  if (pending(env)) return;
#else
  server = env->CallLongMethod(node, getServerTime);
  if (pending(env)) return;
  localTime = env->CallLongMethod(local, getLocalTime);
  if (pending(env)) return;
#endif

  if (isCurrent(server, localTime)) x7::callVoid(env, node, "setPreviouslyDownloaded");
}
