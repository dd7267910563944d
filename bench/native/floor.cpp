// The floor of the library's two hot loops, for the benchmarks only: the same
// upcalls per character (tag reader) and per chunk (transfer), lookups made
// once before the loop, nothing else inside it.
#include <jni.h>

#include "BenchFloor.h"

JNIEXPORT jlong JNICALL Java_BenchFloor_readAll(JNIEnv* env, jclass, jobject reader, jobject buf) {
  jclass readerClass = env->GetObjectClass(reader);
  jmethodID read = env->GetMethodID(readerClass, "read", "()I");
  jclass bufClass = env->FindClass("java/lang/StringBuffer");
  jmethodID append = bufClass ? env->GetMethodID(bufClass, "append", "(C)Ljava/lang/StringBuffer;") : nullptr;
  if (read == nullptr || append == nullptr) return -1;
  jlong n = 0;
  for (;;) {
    const jint c = env->CallIntMethod(reader, read);
    if (env->ExceptionCheck() || c < 0) break;
    jobject r = env->CallObjectMethod(buf, append, static_cast<jchar>(c));
    if (r != nullptr) env->DeleteLocalRef(r);
    if (env->ExceptionCheck()) break;
    ++n;
  }
  return n;
}

JNIEXPORT jlong JNICALL Java_BenchFloor_copy(JNIEnv* env, jclass, jobject crawler, jobject in, jobject out) {
  jfieldID aborted = env->GetFieldID(env->GetObjectClass(crawler), "aborted", "Z");
  jmethodID read = env->GetMethodID(env->GetObjectClass(in), "read", "([BII)I");
  jmethodID write = env->GetMethodID(env->GetObjectClass(out), "write", "([BII)V");
  if (aborted == nullptr || read == nullptr || write == nullptr) return -1;
  jbyteArray chunk = env->NewByteArray(100);
  if (chunk == nullptr) return -1;
  jlong total = 0;
  for (;;) {
    const jint n = env->CallIntMethod(in, read, chunk, 0, 100);
    if (env->ExceptionCheck() || n < 0) break;
    env->CallVoidMethod(out, write, chunk, 0, n);
    if (env->ExceptionCheck()) break;
    total += n;
    if (env->GetBooleanField(crawler, aborted)) break;
  }
  return total;
}
