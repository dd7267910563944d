// Request headers of a node's connection: browser identification, referer,
// cookies, then either the ranged request that resumes an interrupted
// transfer (the crawler's range value, sent once) or a conditional request.
#include <cstring>

#include "UrlLoad.h"
#include "host_calls.h"

using x7::Local;
using x7::pending;

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 4.01; Windows NT";

// Sets one header. Returns false with the exception pending on failure.
bool setHeader(JNIEnv* env, jobject conn, jmethodID set, const char* name, jstring value) {
  Local<jstring> key(env, env->NewStringUTF(name));
  if (!key) return false;
  return x7::callVoid(env, conn, set, key.get(), value);
}

// The text of the URL that a node's getURL answers, or null (exception pending).
jstring urlText(JNIEnv* env, jobject node) {
  const auto url = x7::call<Local<>>(env, node, "getURL", "()Ljava/net/URL;");
  if (!url || !*url) return nullptr;
  jmethodID toString = x7::methodOf(env, url->get(), "toString", "()Ljava/lang/String;");
  if (toString == nullptr) return nullptr;
  // Checked by the caller.
  return static_cast<jstring>(env->CallObjectMethod(url->get(), toString));
}

// What formats dates: fo, called through its superclass's format(Date).
struct DateFormatting {
  jobject fo;
  jclass foSuper;
  jmethodID format;
  jclass dateClass;
  jmethodID dateFromMillis;
  jmethodID lastModified;
};

// fo.format(date) as a host string, or null with the exception pending.
jstring formatDate(JNIEnv* env, const DateFormatting& f, jobject date) {
  jobject text = env->CallNonvirtualObjectMethod(f.fo, f.foSuper, f.format, date);
  if (pending(env)) return nullptr;
  return static_cast<jstring>(text);
}

// The local file's modification time as a date (0, the epoch, for a missing
// file), or null with the exception pending.
jobject localFileDate(JNIEnv* env, const DateFormatting& f, jobject local) {
  const auto time = x7::call<jlong>(env, local, f.lastModified);
  if (!time) return nullptr;
  return env->NewObject(f.dateClass, f.dateFromMillis, *time);
}

}  // namespace

JNIEXPORT void JNICALL Java_UrlLoad_setRequestProperties(JNIEnv* env, jobject crawler, jobject conn,
                                                         jobject node, jobject local) {
  if (conn == nullptr) return;

  jmethodID set = x7::methodOf(env, conn, "setRequestProperty", "(Ljava/lang/String;Ljava/lang/String;)V");
  if (set == nullptr) return;
  {
    Local<jstring> agent(env, env->NewStringUTF(kUserAgent));
    if (!agent || !setHeader(env, conn, set, "User-Agent", agent.get())) return;
  }

  const auto parentIndex = x7::call<jint>(env, node, "getParentIndex", "()I");
  if (!parentIndex) return;
  if (*parentIndex >= 0) {
    Local<> list = x7::requiredField(env, crawler, "urlToLoad", "Ljava/util/List;");
    if (!list) return;
    const auto parent = x7::call<Local<>>(env, list.get(), "get", "(I)Ljava/lang/Object;", *parentIndex);
    if (!parent) return;
    if (*parent) {
      Local<jstring> referer(env, urlText(env, parent->get()));
      if (pending(env)) return;
      if (!setHeader(env, conn, set, "Referer", referer.get())) return;
    }
  }

  {
    Local<> cookies = x7::requiredField(env, crawler, "cookiesCol", "LCookies;");
    if (!cookies) return;
    jmethodID sentCookies = x7::methodOf(env, cookies.get(), "sentCookies", "(Ljava/net/URL;)Ljava/lang/String;");
    if (sentCookies == nullptr) return;
    const auto url = x7::call<Local<>>(env, node, "getURL", "()Ljava/net/URL;");
    if (!url) return;
    const auto cookie = x7::call<Local<jstring>>(env, cookies.get(), sentCookies, url->get());
    if (!cookie) return;
    if (*cookie && !setHeader(env, conn, set, "Cookie", cookie->get())) return;
  }

  Local<> fo = x7::requiredField(env, crawler, "fo", "Ljava/text/SimpleDateFormat;");
  if (!fo) return;
  Local<jclass> foClass(env, env->GetObjectClass(fo.get()));
  Local<jclass> foSuper(env, env->GetSuperclass(foClass.get()));
  Local<jclass> dateClass(env, env->FindClass("java/util/Date"));
  if (!dateClass) return;
  DateFormatting f{fo.get(), foSuper.get(), nullptr, dateClass.get(), nullptr, nullptr};
  f.lastModified = x7::methodOf(env, local, "lastModified", "()J");
  if (f.lastModified == nullptr) return;
  f.dateFromMillis = x7::methodOf(env, dateClass.get(), "<init>", "(J)V");
  if (f.dateFromMillis == nullptr) return;
  f.format = x7::methodOf(env, foSuper.get(), "format", "(Ljava/util/Date;)Ljava/lang/String;");
  if (f.format == nullptr) return;

  jfieldID rangeId = x7::fieldOf(env, crawler, "range", "Ljava/lang/String;");
  if (rangeId == nullptr) return;
  Local<jstring> range(env, static_cast<jstring>(env->GetObjectField(crawler, rangeId)));
  x7::Utf rangeText(env, range.get());
  if (range && !rangeText) return;  // no memory for the characters

  if (rangeText && std::strlen(rangeText.c_str()) >= 2) {
    // Resumption: the rest of the file, provided the server's copy is still
    // the one whose start we hold (If-Range with its date).
    x7::diag("range:%s\n", rangeText.c_str());
    if (!setHeader(env, conn, set, "Range", range.get())) return;
    Local<jstring> empty(env, env->NewStringUTF(""));
    if (!empty) return;
    env->SetObjectField(crawler, rangeId, empty.get());  // sent once only
    Local<> date(env, localFileDate(env, f, local));
    if (pending(env)) return;
    Local<jstring> text(env, formatDate(env, f, date.get()));
    if (pending(env)) return;
    setHeader(env, conn, set, "If-Range", text.get());
    return;
  }

  const auto pastMaxLevel = x7::call<jboolean>(env, node, "isPastMaxLevel", "()Z");
  if (!pastMaxLevel) return;
  bool now = *pastMaxLevel;
  if (!now) {
    jfieldID aborted = x7::fieldOf(env, crawler, "aborted", "Z");
    if (aborted == nullptr) return;
    now = env->GetBooleanField(crawler, aborted);
  }
  Local<> date(env, nullptr);
  if (now) {
    jmethodID current = x7::methodOf(env, dateClass.get(), "<init>", "()V");
    if (current == nullptr) return;
    date.reset(env->NewObject(dateClass.get(), current));
  } else {
    date.reset(localFileDate(env, f, local));
  }
  if (pending(env)) return;
  Local<jstring> text(env, formatDate(env, f, date.get()));
  if (pending(env)) return;
  setHeader(env, conn, set, "If-Modified-Since", text.get());
}
