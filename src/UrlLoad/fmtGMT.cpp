// The crawler's HTTP date formatter: RFC 1123 dates in GMT.
#include "UrlLoad.h"
#include "host_calls.h"

using x7::Local;
using x7::pending;

namespace {

// Locale.US. HTTP dates carry English day and month names whatever the
// JVM's default locale is; a German default would send "Do, 01 Jan 1970",
// which no server takes for a date.
jobject englishLocale(JNIEnv* env) {
  Local<jclass> localeClass(env, env->FindClass("java/util/Locale"));
  if (!localeClass) return nullptr;
  jfieldID us = x7::staticFieldOf(env, localeClass.get(), "US", "Ljava/util/Locale;");
  if (us == nullptr) return nullptr;
  return env->GetStaticObjectField(localeClass.get(), us);
}

}  // namespace

JNIEXPORT jobject JNICALL Java_UrlLoad_fmtGMT(JNIEnv* env, jobject crawler) {
  Local<jclass> zoneClass(env, env->FindClass("java/util/TimeZone"));
  if (!zoneClass) return nullptr;
  jmethodID getTimeZone =
      x7::staticMethodOf(env, zoneClass.get(), "getTimeZone", "(Ljava/lang/String;)Ljava/util/TimeZone;");
  if (getTimeZone == nullptr) return nullptr;
  Local<jstring> gmtName(env, env->NewStringUTF("GMT"));
  if (!gmtName) return nullptr;
  Local<> gmt(env, env->CallStaticObjectMethod(zoneClass.get(), getTimeZone, gmtName.get()));
  if (pending(env)) return nullptr;

  Local<jclass> formatClass(env, env->FindClass("java/text/SimpleDateFormat"));
  if (!formatClass) return nullptr;
  jmethodID ctor = x7::methodOf(env, formatClass.get(), "<init>", "(Ljava/lang/String;Ljava/util/Locale;)V");
  if (ctor == nullptr) return nullptr;
  Local<> locale(env, englishLocale(env));
  if (pending(env)) return nullptr;
  Local<jstring> pattern(env, env->NewStringUTF("EEE, dd MMM yyyy HH:mm:ss 'GMT'"));
  if (!pattern) return nullptr;
  jobject formatter = env->NewObject(formatClass.get(), ctor, pattern.get(), locale.get());
  if (pending(env)) return nullptr;

  Local<jclass> dateFormatClass(env, env->FindClass("java/text/DateFormat"));
  if (!dateFormatClass) return nullptr;
  jmethodID setTimeZone = x7::methodOf(env, dateFormatClass.get(), "setTimeZone", "(Ljava/util/TimeZone;)V");
  if (setTimeZone == nullptr) return nullptr;
  env->CallNonvirtualVoidMethod(formatter, dateFormatClass.get(), setTimeZone, gmt.get());
  if (pending(env)) return nullptr;
  return formatter;
}
