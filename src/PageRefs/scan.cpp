// The references of one page or stylesheet, in one call: the bytes are copied
// out of the host array and scanned without any further host call; the spans
// go back as one int array of (start, end, kind) triples.
#include <string>
#include <vector>

#include "PageRefs.h"
#include "host_calls.h"
#include "refscan.h"

using x7::pending;

namespace {

// The refs as triples, written in slices so the stack frame stays small.
jintArray toTriples(JNIEnv* env, const std::vector<x7::text::Ref>& refs) {
  constexpr std::size_t kSlice = 128;
  if (refs.size() > static_cast<std::size_t>(0x7FFFFFFF / 3)) {
    x7::throwException(env, "java/lang/OutOfMemoryError", "too many references");
    return nullptr;
  }
  jintArray out = env->NewIntArray(static_cast<jsize>(refs.size() * 3));
  if (out == nullptr) return nullptr;  // OutOfMemoryError pending
  jint slice[kSlice * 3];
  for (std::size_t from = 0; from < refs.size(); from += kSlice) {
    const std::size_t n = refs.size() - from < kSlice ? refs.size() - from : kSlice;
    for (std::size_t i = 0; i < n; ++i) {
      slice[3 * i] = static_cast<jint>(refs[from + i].start);
      slice[3 * i + 1] = static_cast<jint>(refs[from + i].end);
      slice[3 * i + 2] = static_cast<jint>(refs[from + i].kind);
    }
    env->SetIntArrayRegion(out, static_cast<jsize>(3 * from), static_cast<jsize>(3 * n), slice);
    if (pending(env)) {
      env->DeleteLocalRef(out);
      return nullptr;
    }
  }
  return out;
}

}  // namespace

namespace {

// The document's first length bytes, copied; false with an exception pending
// for a null document or a length outside it.
bool documentBytes(JNIEnv* env, jbyteArray document, jint length, std::string& bytes) {
  if (document == nullptr) {
    x7::throwException(env, "java/lang/NullPointerException", "document");
    return false;
  }
  const jsize size = env->GetArrayLength(document);
  if (length < 0 || length > size) {
    x7::throwException(env, "java/lang/IndexOutOfBoundsException", "length outside the document");
    return false;
  }
  // A copy rather than a critical section: the scan may take a while on a
  // large page and must not hold the collector back.
  bytes.assign(static_cast<std::size_t>(length), '\0');
  if (length > 0) env->GetByteArrayRegion(document, 0, length, reinterpret_cast<jbyte*>(&bytes[0]));
  return !pending(env);
}

}  // namespace

JNIEXPORT jintArray JNICALL Java_PageRefs_scan(JNIEnv* env, jclass, jbyteArray document, jint length,
                                               jboolean css) {
  std::string bytes;
  if (!documentBytes(env, document, length, bytes)) return nullptr;
  const auto refs = css == JNI_TRUE ? x7::text::scanCss(bytes) : x7::text::scanHtml(bytes);
  return toTriples(env, refs);
}

JNIEXPORT jintArray JNICALL Java_PageRefs_scanScript(JNIEnv* env, jclass, jbyteArray document, jint length) {
  std::string bytes;
  if (!documentBytes(env, document, length, bytes)) return nullptr;
  return toTriples(env, x7::text::scanScript(bytes));
}
