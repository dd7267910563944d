// Link discovery: the link of an img, frame, link or a element becomes a new
// node at the end of the crawl list; its character references are decoded
// first, so that "a.html?x=1&amp;y=2" asks for "a.html?x=1&y=2". A link is resolved against the page's
// base; in a page saved by an earlier run, a link that climbs to the mirror's
// root ("../" steps reaching baseFileSlashCount) names the site itself and is
// rebuilt behind the base's protocol instead.
#include <cstdint>
#include <string>
#include <string_view>

#include "UrlLoad.h"
#include "host_calls.h"
#include "links/link_table.h"
#include "text.h"

using x7::Local;
using x7::pending;

namespace {

// A failure of making or adding the node is described and cleared; none
// leaves the call from there.
void describeAndClear(JNIEnv* env) {
  if (!pending(env)) return;
  env->ExceptionDescribe();
  env->ExceptionClear();
}

// protocol://remainder for a link that climbs to the mirror's root. Null when
// no URL comes of it: with the exception cleared when the text is no URL,
// pending when a host call failed (failed is then true).
jobject rebuilt(JNIEnv* env, jclass urlClass, jobject base, std::string_view remainder, bool& failed) {
  if (base == nullptr) return nullptr;  // no base, no protocol: the link is dropped
  std::string protocol;
  if (!x7::callString(env, base, "getProtocol", protocol)) {
    failed = true;
    return nullptr;
  }
  const std::string text = x7::text::rebuildUrl(protocol, remainder);
  jmethodID ctor = x7::methodOf(env, urlClass, "<init>", "(Ljava/lang/String;)V");
  if (ctor == nullptr) {
    failed = true;
    return nullptr;
  }
  Local<jstring> s(env, env->NewStringUTF(text.c_str()));
  if (!s) {
    failed = true;
    return nullptr;
  }
  jobject url = env->NewObject(urlClass, ctor, s.get());
  if (pending(env)) env->ExceptionClear();
  return url;
}

// The URL of the link resolved against the base. Null when no URL comes of it
// (exception cleared).
jobject resolved(JNIEnv* env, jclass urlClass, jobject base, jstring link) {
  jmethodID ctor = x7::methodOf(env, urlClass, "<init>", "(Ljava/net/URL;Ljava/lang/String;)V");
  if (ctor == nullptr) return nullptr;  // NoSuchMethodError stays pending
  jobject url = env->NewObject(urlClass, ctor, base, link);
  if (pending(env)) env->ExceptionClear();
  return url;
}

// Makes the new node and appends it to the crawl list.
void addNode(JNIEnv* env, jobject crawler, jclass crawlerClass, jobject node, int increment, jobject url,
             jstring link) {
  jfieldID urlIndexId = x7::fieldOf(env, crawlerClass, "urlIndex", "I");
  if (urlIndexId == nullptr) return;
  const jint urlIndex = env->GetIntField(crawler, urlIndexId);
  Local<jclass> nodeClass(env, env->GetObjectClass(node));
  const auto level = x7::call<jint>(env, node, x7::methodOf(env, nodeClass.get(), "getLevel", "()I"));
  if (!level) return;

  jmethodID ctor = x7::methodOf(env, nodeClass.get(), "<init>", "(IILjava/net/URL;Ljava/lang/String;)V");
  if (ctor == nullptr) return;
  // Wraps like the host's int arithmetic instead of overflowing.
  const jint nextLevel = static_cast<jint>(static_cast<std::uint32_t>(*level) + static_cast<std::uint32_t>(increment));
  Local<> next(env, env->NewObject(nodeClass.get(), ctor, nextLevel, urlIndex, url, link));
  if (!next) return;

  jfieldID listId = x7::fieldOf(env, crawlerClass, "urlToLoad", "Ljava/util/List;");
  if (listId == nullptr) return;
  Local<> list(env, env->GetObjectField(crawler, listId));
  if (!list) return;  // no crawl list to add to
  const auto added = x7::call<jboolean>(env, list.get(), "add", "(Ljava/lang/Object;)Z", next.get());
  if (!added) return;
  if (*added != JNI_TRUE) x7::diag("urlToLoad.add(nextLURL) false.\n");
}

}  // namespace

JNIEXPORT void JNICALL Java_UrlLoad_chuekia(JNIEnv* env, jobject crawler, jobject element, jstring tagName) {
  x7::Utf tag(env, tagName);
  if (!tag || element == nullptr) return;
  const x7::LinkTag* row = x7::linkTagOf(tag.c_str());
  if (row == nullptr) return;

  // The attribute's value, with one pair of enclosing quotes removed.
  jmethodID getAttribute = x7::methodOf(env, element, "getAttribute", "(Ljava/lang/String;)Ljava/lang/String;");
  if (getAttribute == nullptr) return;
  Local<jstring> attrName(env, env->NewStringUTF(row->attribute));
  if (!attrName) return;
  const auto value = x7::call<Local<jstring>>(env, element, getAttribute, attrName.get());
  if (!value || !*value) return;
  std::string copy;
  if (!x7::copyString(env, value->get(), copy)) return;
  // Character references are read as a browser reads them: "&amp;" is '&'.
  const std::string decoded = x7::text::discoveredLink(copy);
  const std::string_view linkBytes = decoded;
  Local<jstring> link(env, env->NewStringUTF(decoded.c_str()));
  if (!link) return;

  Local<jclass> crawlerClass(env, env->GetObjectClass(crawler));
  jmethodID notSupported = x7::methodOf(env, crawlerClass.get(), "notSupportedProtocol", "(Ljava/lang/String;)Z");
  const auto drop = x7::call<jboolean>(env, crawler, notSupported, link.get());
  if (!drop || *drop == JNI_TRUE) return;

  jfieldID lURLId = x7::fieldOf(env, crawlerClass.get(), "lURL", "Lcom/tolvak/fenwix/NodeURL;");
  if (lURLId == nullptr) return;
  Local<> node(env, env->GetObjectField(crawler, lURLId));
  if (!node) return;  // no page in hand: nothing to hang the link on
  jfieldID baseId = x7::fieldOf(env, crawlerClass.get(), "baseURL", "Ljava/net/URL;");
  if (baseId == nullptr) return;
  Local<> base(env, env->GetObjectField(crawler, baseId));
  // Without a base only an absolute link can be resolved; the class is URL's.
  Local<jclass> urlClass(env, base ? env->GetObjectClass(base.get()) : env->FindClass("java/net/URL"));
  if (!urlClass) return;

  const auto saved = x7::call<jboolean>(env, node.get(), "isPreviouslyDownloaded", "()Z");
  if (!saved) return;

  Local<> url(env, nullptr);
  bool rebuild = false;
  std::string_view remainder = linkBytes;
  if (*saved == JNI_TRUE) {
    const int climb = x7::text::climbCount(linkBytes);
    remainder.remove_prefix(3 * static_cast<std::size_t>(climb));
    jfieldID countId = x7::fieldOf(env, crawlerClass.get(), "baseFileSlashCount", "I");
    if (countId == nullptr) return;
    // The climb reaches the count; compared directly so that no count wraps.
    rebuild = climb >= env->GetIntField(crawler, countId);
  }
  if (rebuild) {
    bool failed = false;
    url.reset(rebuilt(env, urlClass.get(), base.get(), remainder, failed));
    if (failed) return;
  } else {
    url.reset(resolved(env, urlClass.get(), base.get(), link.get()));
    if (pending(env)) return;
  }
  if (!url) return;  // no URL: the link is dropped without a word

  addNode(env, crawler, crawlerClass.get(), node.get(), row->increment, url.get(), link.get());
  describeAndClear(env);
}
