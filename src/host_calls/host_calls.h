// Shared conventions of the natives: lookups by name and signature, typed
// calls with their exception check, guards that release host strings and
// local references on every path, scratch strings, diagnostics and log lines.
//
// Exception contract: every helper that calls into the JVM returns a value that
// says whether the call succeeded (a null id, a null reference, false, an
// empty optional). When it fails, a Java exception is pending and the caller
// must return at once, or handle it, without any other JNI call except cleanup
// (guards may release).
#ifndef X7FENWIX_HOST_CALLS_H
#define X7FENWIX_HOST_CALLS_H

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace x7 {

// True when a Java exception is pending. Also marks the pending state as
// checked for -Xcheck:jni.
inline bool pending(JNIEnv* env) { return env->ExceptionCheck() == JNI_TRUE; }

// Diagnostics go to the process's standard output through printf and are
// flushed at once, so that they keep their order with the host's own output.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void diag(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vprintf(fmt, ap);
  va_end(ap);
  std::fflush(stdout);
}

// Owns one local reference and deletes it when it goes out of scope: used
// where references are made in a loop and must not pile up. Moving hands the
// ownership on, so that helpers can return what they made.
template <class T = jobject>
class Local {
 public:
  using Ref = T;

  Local(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
  ~Local() {
    if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
  }
  Local(const Local&) = delete;
  Local& operator=(const Local&) = delete;
  Local(Local&& other) noexcept : env_(other.env_), ref_(other.release()) {}
  Local& operator=(Local&& other) noexcept {
    reset(other.release());  // released first: a move onto itself keeps the reference
    env_ = other.env_;
    return *this;
  }
  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }
  void reset(T ref) {
    if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
    ref_ = ref;
  }
  // Gives the reference up without deleting it, for a caller that returns it
  // to the host.
  T release() {
    T ref = ref_;
    ref_ = nullptr;
    return ref;
  }

 private:
  JNIEnv* env_;
  T ref_;
};

// The modified UTF-8 characters of a host string, released on every path.
// A null string, or a failed GetStringUTFChars (OutOfMemoryError pending),
// leaves c_str() null.
class Utf {
 public:
  Utf(JNIEnv* env, jstring s) : env_(env), s_(s) {
    if (s_ != nullptr) {
      jboolean isCopy;
      chars_ = env_->GetStringUTFChars(s_, &isCopy);
    }
  }
  ~Utf() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(s_, chars_);
  }
  Utf(const Utf&) = delete;
  Utf& operator=(const Utf&) = delete;
  const char* c_str() const { return chars_; }
  explicit operator bool() const { return chars_ != nullptr; }
  std::string_view view() const { return chars_ != nullptr ? std::string_view(chars_) : std::string_view(); }

 private:
  JNIEnv* env_;
  jstring s_;
  const char* chars_ = nullptr;
};

// Copies a host string into a scratch string and releases the host characters
// at once. Returns false when the characters could not be had (exception
// pending) or the string is null.
inline bool copyString(JNIEnv* env, jstring s, std::string& out) {
  if (s == nullptr) return false;
  Utf u(env, s);
  if (!u) return false;
  out.assign(u.c_str());
  return true;
}

// Lookups by name and signature. A null result means the member is missing
// and NoSuchMethodError/NoSuchFieldError is pending. The object forms look in
// the object's class, had for the lookup alone; the class forms serve a native
// that holds the class anyway (to make objects of it, or for several members).
inline jmethodID methodOf(JNIEnv* env, jobject obj, const char* name, const char* sig) {
  Local<jclass> cls(env, env->GetObjectClass(obj));
  return env->GetMethodID(cls.get(), name, sig);
}

inline jmethodID methodOf(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return env->GetMethodID(cls, name, sig);
}

inline jfieldID fieldOf(JNIEnv* env, jobject obj, const char* name, const char* sig) {
  Local<jclass> cls(env, env->GetObjectClass(obj));
  return env->GetFieldID(cls.get(), name, sig);
}

inline jfieldID fieldOf(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return env->GetFieldID(cls, name, sig);
}

inline jmethodID staticMethodOf(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return env->GetStaticMethodID(cls, name, sig);
}

inline jfieldID staticFieldOf(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return env->GetStaticFieldID(cls, name, sig);
}

// Throws a new exception of the named class with a message. False when the
// class could not be had; its own exception is pending then.
inline bool throwException(JNIEnv* env, const char* className, const char* message) {
  Local<jclass> cls(env, env->FindClass(className));
  if (!cls) return false;
  return env->ThrowNew(cls.get(), message) == 0;
}

// An object field that the host keeps set. A null value leaves a
// NullPointerException named after the field pending, rather than a null
// handed on to the interface or a crash of the JVM; so a null result always
// means an exception is pending. cls is obj's class where the caller holds
// it; without it the field is looked up in obj's class.
inline Local<> requiredField(JNIEnv* env, jobject obj, const char* name, const char* sig, jclass cls = nullptr) {
  jfieldID id = cls != nullptr ? fieldOf(env, cls, name, sig) : fieldOf(env, obj, name, sig);
  if (id == nullptr) return Local<>(env, nullptr);
  Local<> value(env, env->GetObjectField(obj, id));
  if (!value) throwException(env, "java/lang/NullPointerException", name);
  return value;
}

namespace detail {

// Call<Type>Method for a result type R: jint, jboolean, jlong, or a Local
// that owns an object result.
template <class R, class... A>
R invoke(JNIEnv* env, jobject obj, jmethodID m, A... args) {
  if constexpr (std::is_same_v<R, jint>) {
    return env->CallIntMethod(obj, m, args...);
  } else if constexpr (std::is_same_v<R, jboolean>) {
    return env->CallBooleanMethod(obj, m, args...);
  } else if constexpr (std::is_same_v<R, jlong>) {
    return env->CallLongMethod(obj, m, args...);
  } else {
    return R(env, static_cast<typename R::Ref>(env->CallObjectMethod(obj, m, args...)));
  }
}

}  // namespace detail

// Typed calls: call<jint>, call<jboolean>, call<jlong>, and call<Local<T>>
// for an object result (a null result is an empty Local). The method is an id
// looked up before (a null id, a failed lookup, calls nothing) or a name and
// signature looked up in obj's class first. The exception check follows the
// call at once. Empty when the lookup or the call failed; the exception is
// pending then.
template <class R, class... A>
std::optional<R> call(JNIEnv* env, jobject obj, jmethodID m, A... args) {
  if (m == nullptr) return std::nullopt;
  R result = detail::invoke<R>(env, obj, m, args...);
  if (pending(env)) return std::nullopt;
  return std::optional<R>(std::move(result));
}

template <class R, class... A>
std::optional<R> call(JNIEnv* env, jobject obj, const char* name, const char* sig, A... args) {
  return call<R>(env, obj, methodOf(env, obj, name, sig), args...);
}

// Calls a void method by id, as above. Returns false with the exception
// pending when the lookup or the call failed.
template <class... A>
bool callVoid(JNIEnv* env, jobject obj, jmethodID m, A... args) {
  if (m == nullptr) return false;
  env->CallVoidMethod(obj, m, args...);
  return !pending(env);
}

// Calls a "()V" method of obj by name.
inline bool callVoid(JNIEnv* env, jobject obj, const char* name) {
  return callVoid(env, obj, methodOf(env, obj, name, "()V"));
}

// Calls a "()Ljava/lang/String;" method of obj and copies the result into a
// scratch string (empty when the result is null). Returns false with the
// exception pending on failure.
inline bool callString(JNIEnv* env, jobject obj, const char* name, std::string& out) {
  auto s = call<Local<jstring>>(env, obj, name, "()Ljava/lang/String;");
  if (!s) return false;
  out.clear();
  if (!*s) return true;
  return copyString(env, s->get(), out);
}

// Passes prefix + subject + "\n" to the crawler's appendLog. Returns false
// with the exception pending on failure.
inline bool appendLog(JNIEnv* env, jobject crawler, std::string_view prefix, std::string_view subject) {
  std::string line;
  line.reserve(prefix.size() + subject.size() + 1);
  line.append(prefix).append(subject).push_back('\n');
  jmethodID m = methodOf(env, crawler, "appendLog", "(Ljava/lang/String;)V");
  if (m == nullptr) return false;
  Local<jstring> s(env, env->NewStringUTF(line.c_str()));
  if (!s) return false;
  return callVoid(env, crawler, m, s.get());
}

}  // namespace x7

#endif
