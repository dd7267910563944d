// The local name of a URL, by the naming rule of src/text/naming.h: the host
// hands over the URL's parts as text, escapes allowed, and gets back the path
// below the mirror's folder, printable ASCII with '/' separators.
#include <string>

#include "LocalNames.h"
#include "host_calls.h"
#include "naming.h"

JNIEXPORT jstring JNICALL Java_LocalNames_name(JNIEnv* env, jclass, jstring host, jint port, jstring rawPath,
                                               jstring rawQuery) {
  // A null host or path counts as empty; a null query is no query.
  std::string hostText, pathText, queryText;
  if (host != nullptr && !x7::copyString(env, host, hostText)) return nullptr;
  if (rawPath != nullptr && !x7::copyString(env, rawPath, pathText)) return nullptr;
  if (rawQuery != nullptr && !x7::copyString(env, rawQuery, queryText)) return nullptr;

  const std::string name =
      x7::localName(hostText, static_cast<int>(port), pathText, rawQuery != nullptr ? &queryText : nullptr);
  // ASCII only, so modified UTF-8 is plain UTF-8 here; null with
  // OutOfMemoryError pending when the string cannot be made.
  return env->NewStringUTF(name.c_str());
}
