// The character references of one attribute value decoded, as the library's
// reference scan and link discovery decode them: the host reads the links
// that PageRefs.scan reports with the same rule, from the same code.
#include <string>

#include "PageRefs.h"
#include "host_calls.h"
#include "refscan.h"

using x7::pending;

JNIEXPORT jbyteArray JNICALL Java_PageRefs_decodeCharRefs(JNIEnv* env, jclass, jbyteArray value) {
  if (value == nullptr) {
    x7::throwException(env, "java/lang/NullPointerException", "value");
    return nullptr;
  }
  const jsize size = env->GetArrayLength(value);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (size > 0) {
    env->GetByteArrayRegion(value, 0, size, reinterpret_cast<jbyte*>(&bytes[0]));
    if (pending(env)) return nullptr;
  }
  // Decoding never lengthens the text, so the result fits a jsize.
  const std::string decoded = x7::text::decodeCharRefs(bytes);
  jbyteArray out = env->NewByteArray(static_cast<jsize>(decoded.size()));
  if (out == nullptr) return nullptr;  // OutOfMemoryError pending
  if (!decoded.empty()) {
    env->SetByteArrayRegion(out, 0, static_cast<jsize>(decoded.size()), reinterpret_cast<const jbyte*>(decoded.data()));
    if (pending(env)) {
      env->DeleteLocalRef(out);
      return nullptr;
    }
  }
  return out;
}
