// Transfer of one node's response body into its local file, in chunks of 100
// bytes, appending for a 206 answer. Leaves an incomplete marker beside the
// file when the transfer ends early, so that the next crawl resumes it.
#include <climits>
#include <cstdint>
#include <string>

#include "UrlLoad.h"
#include "host_calls.h"
#include "text.h"

using x7::Local;
using x7::pending;

namespace {

constexpr jint kChunk = 100;

// Closes the output stream; whatever close throws is cleared without a word,
// as the bytes written so far are already on disk.
void closeQuietly(JNIEnv* env, jobject out, jmethodID close) {
  if (!x7::callVoid(env, out, close)) env->ExceptionClear();
}

// The text of the connection's URL for a log line. Returns false with the
// exception pending on failure.
bool connectionUrl(JNIEnv* env, jobject conn, std::string& out) {
  const auto url = x7::call<Local<>>(env, conn, "getURL", "()Ljava/net/URL;");
  if (!url) return false;
  if (!*url) {
    out.clear();
    return true;
  }
  return x7::callString(env, url->get(), "toString", out);
}

// Reports a handled failure: the diagnostic, the exception cleared, the log
// line (prefix + file name, or + the connection's URL when fileName is null),
// the output closed where open, then the node's state method. Returns false
// when a host call of the report itself failed (exception pending).
bool reportFailure(JNIEnv* env, jobject crawler, jobject node, jobject conn, const char* diagnostic,
                   const char* prefix, const std::string* fileName, jobject out, jmethodID close,
                   const char* state) {
  x7::diag("%s", diagnostic);
  env->ExceptionClear();
  std::string url;
  if (fileName == nullptr && !connectionUrl(env, conn, url)) return false;
  if (!x7::appendLog(env, crawler, prefix, fileName ? *fileName : url)) return false;
  if (out != nullptr) closeQuietly(env, out, close);
  return x7::callVoid(env, node, state);
}

// Stamps a file with the server time through the crawler class's static
// fileSetLastModified. Returns false with the exception pending on failure.
bool stamp(JNIEnv* env, jobject crawler, jobject file, jlong time) {
  Local<jclass> cls(env, env->GetObjectClass(crawler));
  jmethodID set = x7::staticMethodOf(env, cls.get(), "fileSetLastModified", "(Ljava/io/File;J)V");
  if (set == nullptr) return false;
  env->CallStaticVoidMethod(cls.get(), set, file, time);
  return !pending(env);
}

// A new object of the local file's own class for a path.
jobject newFileLike(JNIEnv* env, jobject local, jstring path) {
  Local<jclass> cls(env, env->GetObjectClass(local));
  jmethodID ctor = x7::methodOf(env, cls.get(), "<init>", "(Ljava/lang/String;)V");
  if (ctor == nullptr) return nullptr;
  return env->NewObject(cls.get(), ctor, path);
}

// Makes the local file's parent directory. A local file without a parent
// has nothing to make.
bool makeParent(JNIEnv* env, jobject local) {
  const auto parent = x7::call<Local<jstring>>(env, local, "getParent", "()Ljava/lang/String;");
  if (!parent) return false;
  if (!*parent) return true;
  Local<> dir(env, newFileLike(env, local, parent->get()));
  if (pending(env)) return false;
  return x7::call<jboolean>(env, dir.get(), "mkdirs", "()Z").has_value();
}

// Creates the incomplete marker and stamps it with the server time. A marker
// left by an earlier attempt stays and gets the new time.
void leaveMarker(JNIEnv* env, jobject crawler, jobject local, const std::string& name, jlong time) {
  const std::string markerName = name + std::string(x7::text::kIncompleteSuffix);
  Local<jstring> path(env, env->NewStringUTF(markerName.c_str()));
  if (!path) return;
  Local<> marker(env, newFileLike(env, local, path.get()));
  if (pending(env)) return;
  jmethodID create = x7::methodOf(env, marker.get(), "createNewFile", "()Z");
  if (create == nullptr) return;
  if (!x7::call<jboolean>(env, marker.get(), create)) {
    env->ExceptionClear();
    return;
  }
  stamp(env, crawler, marker.get(), time);
}

}  // namespace

JNIEXPORT void JNICALL Java_UrlLoad_jiplok(JNIEnv* env, jobject crawler, jobject node, jobject conn,
                                           jobject local) {
  jfieldID abortedId = x7::fieldOf(env, crawler, "aborted", "Z");
  if (abortedId == nullptr) return;
  if (env->GetBooleanField(crawler, abortedId)) return;

  const auto wanted = x7::call<jboolean>(env, node, "downloadThisURL", "()Z");
  if (!wanted || !*wanted) return;

  if (!makeParent(env, local)) return;

  const auto nameStr = x7::call<Local<jstring>>(env, node, "getLoadedFilename", "()Ljava/lang/String;");
  if (!nameStr) return;
  std::string name;
  if (!x7::copyString(env, nameStr->get(), name)) return;
  const auto code = x7::call<jint>(env, node, "getResponseCode", "()I");
  if (!code) return;
  const jboolean append = *code == 206 ? JNI_TRUE : JNI_FALSE;

  Local<jclass> outClass(env, env->FindClass("java/io/FileOutputStream"));
  if (!outClass) return;
  jmethodID outCtor = x7::methodOf(env, outClass.get(), "<init>", "(Ljava/lang/String;Z)V");
  jmethodID write = outCtor ? x7::methodOf(env, outClass.get(), "write", "([BII)V") : nullptr;
  jmethodID close = write ? x7::methodOf(env, outClass.get(), "close", "()V") : nullptr;
  if (close == nullptr) return;
  Local<> out(env, env->NewObject(outClass.get(), outCtor, nameStr->get(), append));
  if (pending(env)) {
    reportFailure(env, crawler, node, conn, "FileNotFoundException occured in new FileOutputStream(..).\n",
                  "Error creating file:", &name, nullptr, nullptr, "setCreateError");
    return;
  }

  Local<jbyteArray> chunk(env, env->NewByteArray(kChunk));
  if (!chunk) {
    closeQuietly(env, out.get(), close);  // OutOfMemoryError stays pending for the host
    return;
  }

  bool goOn = true;
  jmethodID getInput = x7::methodOf(env, conn, "getInputStream", "()Ljava/io/InputStream;");
  if (getInput == nullptr) return;
  const auto in = x7::call<Local<>>(env, conn, getInput);
  if (!in) {
    // The output has been opened (and, outside append mode, emptied): leave
    // the marker too, or the next crawl's 304 would take the file as current.
    if (!reportFailure(env, crawler, node, conn, "IOException occured in getInputStream.\n",
                       "Error reading url:", nullptr, out.get(), close, "setReadWriteError")) {
      return;
    }
    goOn = false;
  } else {
    jmethodID read = x7::methodOf(env, in->get(), "read", "([BII)I");
    if (read == nullptr) return;
    std::int64_t count = 0;
    bool closed = false;
    for (;;) {
      const auto n = x7::call<jint>(env, in->get(), read, chunk.get(), 0, kChunk);
      if (!n) {
        if (!reportFailure(env, crawler, node, conn, "IOException occured in InputStream.read(..).\n",
                           "Error reading url:", nullptr, out.get(), close, "setReadWriteError")) {
          return;
        }
        goOn = false;
        closed = true;
        break;
      }
      if (*n < 0) break;
      if (!x7::callVoid(env, out.get(), write, chunk.get(), 0, *n)) {
        if (!reportFailure(env, crawler, node, conn, "IOException occured in FileOutputStream.write(..).\n",
                           "Error writing file:", &name, out.get(), close, "setReadWriteError")) {
          return;
        }
        goOn = false;
        closed = true;
        break;
      }
      count += *n;
      if (env->GetBooleanField(crawler, abortedId)) {
        if (!x7::callVoid(env, node, "setStopped")) return;
        goOn = false;
        break;
      }
    }

    // Counters. The byte count is exact in 64 bits; the node's int field
    // stops at its largest value rather than wrapping to a negative one.
    jfieldID nfiles = x7::fieldOf(env, crawler, "nfiles", "I");
    jfieldID readLength = nfiles ? x7::fieldOf(env, node, "readLength", "I") : nullptr;
    jfieldID total = readLength ? x7::fieldOf(env, crawler, "totalReadLength", "J") : nullptr;
    if (total == nullptr) return;
    env->SetIntField(crawler, nfiles, env->GetIntField(crawler, nfiles) + 1);
    env->SetIntField(node, readLength, count > INT_MAX ? INT_MAX : static_cast<jint>(count));
    env->SetLongField(crawler, total, env->GetLongField(crawler, total) + count);

    if (!closed) closeQuietly(env, out.get(), close);
    if (!x7::callVoid(env, node, "setDownloaded")) return;
  }

  const auto serverTime = x7::call<jlong>(env, node, "getLastModified", "()J");
  if (!serverTime) return;
  if (!stamp(env, crawler, local, *serverTime)) return;
  if (goOn) return;
  leaveMarker(env, crawler, local, name, *serverTime);
}
