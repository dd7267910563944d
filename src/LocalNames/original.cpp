// The URL that a link of a rewritten page stood for: the local path below the
// site part read back into the raw path and query it was saved from, by the
// inverse of the naming rule (src/text/naming.h). Null when the path is no
// name the rule can give back.
#include <string>

#include "LocalNames.h"
#include "host_calls.h"
#include "naming.h"

using x7::Local;
using x7::pending;

JNIEXPORT jobjectArray JNICALL Java_LocalNames_original(JNIEnv* env, jclass, jstring path) {
  std::string local;
  if (path == nullptr || !x7::copyString(env, path, local)) return nullptr;
  std::string rawPath, rawQuery;
  bool hasQuery = false;
  if (!x7::originalPath(local, rawPath, rawQuery, hasQuery)) return nullptr;

  // { raw path, raw query or null }
  Local<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return nullptr;
  Local<jobjectArray> out(env, env->NewObjectArray(2, stringClass.get(), nullptr));
  if (!out) return nullptr;
  Local<jstring> pathString(env, env->NewStringUTF(rawPath.c_str()));
  if (!pathString) return nullptr;
  env->SetObjectArrayElement(out.get(), 0, pathString.get());
  if (pending(env)) return nullptr;
  if (hasQuery) {
    Local<jstring> queryString(env, env->NewStringUTF(rawQuery.c_str()));
    if (!queryString) return nullptr;
    env->SetObjectArrayElement(out.get(), 1, queryString.get());
    if (pending(env)) return nullptr;
  }
  return out.release();
}
