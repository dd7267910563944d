// The double's own checks, tried on natives made here to break one JNI rule
// each: every one must end the run with the double's FATAL message naming the
// fault, and the well-behaved one must pass. Without these, a check that had
// stopped working would pass every scenario in silence.
//
//   jnidouble --selftest             lists NAME<TAB>expected message
//   jnidouble --selftest NAME OUTDIR runs one (exit 2 for a caught fault)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk.h"
#include "host.h"
#include "jnidouble.h"

namespace jd {
namespace {

using Fn = void(JNICALL*)(JNIEnv*, jobject, jobject);

void JNICALL wellBehaved(JNIEnv* env, jobject crawler, jobject text) {
  jclass cls = env->GetObjectClass(crawler);
  jmethodID m = env->GetMethodID(cls, "countBaseFileSlash", "()V");
  env->CallVoidMethod(crawler, m);
  if (env->ExceptionCheck()) return;
  const char* chars = env->GetStringUTFChars(static_cast<jstring>(text), nullptr);
  env->ReleaseStringUTFChars(static_cast<jstring>(text), chars);
  for (int i = 0; i < 100; ++i) env->DeleteLocalRef(env->GetObjectClass(crawler));
  env->DeleteLocalRef(cls);
}

void JNICALL callWithPending(JNIEnv* env, jobject, jobject) {
  env->ThrowNew(env->FindClass("java/lang/NullPointerException"), "x");
  env->FindClass("java/io/File");
}

void JNICALL uncheckedCall(JNIEnv* env, jobject crawler, jobject) {
  jmethodID m = env->GetMethodID(env->GetObjectClass(crawler), "countBaseFileSlash", "()V");
  env->CallVoidMethod(crawler, m);
  env->GetObjectClass(crawler);
}

void JNICALL deletedRef(JNIEnv* env, jobject, jobject text) {
  env->DeleteLocalRef(text);
  env->GetObjectClass(text);
}

void JNICALL charsKept(JNIEnv* env, jobject, jobject text) {
  env->GetStringUTFChars(static_cast<jstring>(text), nullptr);
}

void JNICALL tooManyRefs(JNIEnv* env, jobject crawler, jobject) {
  for (int i = 0; i < 40; ++i) env->GetObjectClass(crawler);
}

void JNICALL wrongTypedCall(JNIEnv* env, jobject crawler, jobject text) {
  jmethodID m = env->GetMethodID(env->GetObjectClass(crawler), "notSupportedProtocol", "(Ljava/lang/String;)Z");
  env->CallIntMethod(crawler, m, text);
}

void JNICALL missingMember(JNIEnv* env, jobject crawler, jobject) {
  env->GetMethodID(env->GetObjectClass(crawler), "getLoadedFilename", "()Ljava/lang/String;");
}

void JNICALL unimplemented(JNIEnv* env, jobject crawler, jobject) { env->MonitorEnter(crawler); }

#if defined(_WIN32) && defined(__i386__)
// A native that is not __stdcall: it leaves its arguments on the stack.
void __attribute__((cdecl)) notStdcall(JNIEnv*, jobject, jobject) {}
#endif

struct SelfTest {
  const char* name;
  const char* expected;  // in the FATAL message; null for the one that passes
  void* fn;
};

const std::vector<SelfTest>& selfTests() {
  static const std::vector<SelfTest> all = {
      {"well_behaved", nullptr, reinterpret_cast<void*>(&wellBehaved)},
      {"call_with_exception_pending", "FindClass called with an exception pending",
       reinterpret_cast<void*>(&callWithPending)},
      {"call_without_exception_check", "GetObjectClass called after CallVoidMethod without checking",
       reinterpret_cast<void*>(&uncheckedCall)},
      {"deleted_local_reference", "use of a deleted or expired local reference", reinterpret_cast<void*>(&deletedRef)},
      {"chars_not_released", "GetStringUTFChars of \"text\" not released", reinterpret_cast<void*>(&charsKept)},
      {"local_reference_overflow", "JNI local refs: 33, exceeds capacity: 32", reinterpret_cast<void*>(&tooManyRefs)},
      {"typed_call_mismatch", "CallIntMethod used for UrlLoad.notSupportedProtocol",
       reinterpret_cast<void*>(&wrongTypedCall)},
      {"missing_member", "UrlLoad has no method getLoadedFilename", reinterpret_cast<void*>(&missingMember)},
      {"unimplemented_function", "JNI function MonitorEnter, which the double does not implement",
       reinterpret_cast<void*>(&unimplemented)},
#if defined(_WIN32) && defined(__i386__)
      {"not_stdcall", "left 12 argument bytes on the stack", reinterpret_cast<void*>(&notStdcall)},
#endif
  };
  return all;
}

}  // namespace

int selfTestMain(int argc, char** argv) {
  if (argc == 2) {
    for (const SelfTest& t : selfTests()) std::printf("%s\t%s\n", t.name, t.expected ? t.expected : "");
    return 0;
  }
  for (const SelfTest& t : selfTests()) {
    if (std::strcmp(t.name, argv[2]) != 0) continue;
    const std::string base = disk::fullPath(argv[3]);
    Vm vm;
    setRecordPath(vm, base + kSeparator + "selftest_" + t.name + ".record");
    Host h(vm);
    vm.rec().raw(std::string("selftest ") + t.name);
    Native n{"UrlLoad", t.name, 12, 'V', t.fn};
    vm.callNative(n, h.crawler(), {Value::obj(h.str("text"))});
    vm.rec().raw("returned");
    vm.rec().write(base + kSeparator + "selftest_" + t.name + ".record");
    return 0;
  }
  std::fprintf(stderr, "jnidouble: no self-test %s\n", argv[2]);
  return 3;
}

}  // namespace jd
