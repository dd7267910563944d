// Triage of a node's response code before its body is transferred: a 304
// for an interrupted transfer becomes a ranged request for the rest, a 304
// for a complete copy settles the node, and a 404 gets one repaired URL.
// Returns 1 when the node is to be requested again (urlIndex stepped back).
#include <string>

#include "UrlLoad.h"
#include "host_calls.h"
#include "text.h"

using x7::Local;
using x7::pending;

namespace {

// A value the host promises to set that is null gets a NullPointerException
// for the host rather than a null handed to the interface.
constexpr char kNullPointer[] = "java/lang/NullPointerException";

// Steps the crawler's urlIndex back by one, so that the host's next step
// brings the same node again. Returns false with the exception pending.
bool stepBack(JNIEnv* env, jobject crawler) {
  jfieldID index = x7::fieldOf(env, crawler, "urlIndex", "I");
  if (index == nullptr) return false;
  env->SetIntField(crawler, index, env->GetIntField(crawler, index) - 1);
  return true;
}

// Codes whose handling says something about the local file: 200 and 206
// bring a new body (whole or the rest), 304 is the resumption or a current
// copy, 404 means the file is gone. Any other answer (503, 403, ...) says
// nothing, so the marker must stay: without it the next 304 would pass the
// partial file as complete.
bool settlesMarker(jint code) { return code == 200 || code == 206 || code == 304 || code == 404; }

// 304 for a transfer that was interrupted: ask for the rest of the file.
jint resume(JNIEnv* env, jobject crawler, jobject local) {
  const auto size = x7::call<jlong>(env, local, "length", "()J");
  if (!size) return 0;
  const std::string range = x7::text::rangeValue(*size);
  x7::diag("contructed range field:%s\n", range.c_str());
  jfieldID rangeId = x7::fieldOf(env, crawler, "range", "Ljava/lang/String;");
  if (rangeId == nullptr) return 0;
  Local<jstring> value(env, env->NewStringUTF(range.c_str()));
  if (!value) return 0;
  env->SetObjectField(crawler, rangeId, value.get());
  if (!stepBack(env, crawler)) return 0;
  return 1;
}

// 404: one repaired URL, or the node is given up.
jint repair(JNIEnv* env, jobject crawler, jobject node, jobject local) {
  const auto url = x7::call<Local<>>(env, node, "getURL", "()Ljava/net/URL;");
  if (!url) return 0;
  if (!*url) {
    x7::throwException(env, kNullPointer, "node URL");
    return 0;
  }
  std::string text;
  if (!x7::callString(env, url->get(), "toString", text)) return 0;

  bool retry = false;
  switch (x7::text::repairPageName(text)) {
    case x7::text::PageNameRepair::NoSlash:
      return 0;  // nothing to cut back to; the node keeps its URL and state
    case x7::text::PageNameRepair::Repaired:
      retry = true;
      break;
    case x7::text::PageNameRepair::NotApplicable: {
      // A saved name holds a caret where the URL had its '?' only where the
      // file system forbids '?', which is where the separator is '\'.
      Local<jclass> fileClass(env, env->GetObjectClass(local));
      jfieldID sepId = x7::staticFieldOf(env, fileClass.get(), "separatorChar", "C");
      if (sepId == nullptr) return 0;
      const jchar sep = env->GetStaticCharField(fileClass.get(), sepId);
      retry = sep == '\\' && x7::text::repairCaret(text);
      break;
    }
  }

  if (retry) {
    Local<jclass> urlClass(env, env->GetObjectClass(url->get()));
    jmethodID ctor = x7::methodOf(env, urlClass.get(), "<init>", "(Ljava/lang/String;)V");
    if (ctor == nullptr) return 0;
    Local<jstring> repaired(env, env->NewStringUTF(text.c_str()));
    if (!repaired) return 0;
    Local<> next(env, env->NewObject(urlClass.get(), ctor, repaired.get()));
    if (pending(env)) {
      env->ExceptionClear();  // not a URL: give up below
    } else {
      if (!x7::callVoid(env, node, x7::methodOf(env, node, "setURL", "(Ljava/net/URL;)V"), next.get())) return 0;
      return stepBack(env, crawler) ? 1 : 0;
    }
  }
  x7::callVoid(env, node, "setNotFound");
  return 0;
}

}  // namespace

JNIEXPORT jint JNICALL Java_UrlLoad_chiap(JNIEnv* env, jobject crawler, jobject node, jobject conn,
                                         jobject local) {
  const auto nameStr = x7::call<Local<jstring>>(env, node, "getLoadedFilename", "()Ljava/lang/String;");
  if (!nameStr) return 0;
  std::string markerName;
  if (!x7::copyString(env, nameStr->get(), markerName)) {
    if (!pending(env)) x7::throwException(env, kNullPointer, "loaded file name");
    return 0;
  }
  markerName.append(x7::text::kIncompleteSuffix);

  Local<jclass> fileClass(env, env->GetObjectClass(local));
  jmethodID fileCtor = x7::methodOf(env, fileClass.get(), "<init>", "(Ljava/lang/String;)V");
  if (fileCtor == nullptr) return 0;
  Local<jstring> markerPath(env, env->NewStringUTF(markerName.c_str()));
  if (!markerPath) return 0;
  Local<> marker(env, env->NewObject(fileClass.get(), fileCtor, markerPath.get()));
  if (pending(env)) return 0;
  const auto exists = x7::call<jboolean>(env, marker.get(), "exists", "()Z");
  if (!exists) return 0;
  const bool hadMarker = *exists;
  const auto response = x7::call<jint>(env, node, "getResponseCode", "()I");
  if (!response) return 0;
  const jint code = *response;

  if (hadMarker && settlesMarker(code)) {
    if (!x7::call<jboolean>(env, marker.get(), "delete", "()Z")) return 0;
  }

  if (code == 304) {
    if (hadMarker) return resume(env, crawler, local);
    x7::callVoid(env, node, "setPreviouslyDownloaded");
    return 0;
  }
  if (code == 404) return repair(env, crawler, node, local);
  return 0;
}
