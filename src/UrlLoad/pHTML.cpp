// Reads a saved page into an element tree under a new root element, makes the
// page's URL the base of its links and hands the tree to the host's scan,
// which calls link discovery for its elements.
#include <string>

#include "UrlLoad.h"
#include "host_calls.h"

using x7::Local;
using x7::pending;

namespace {

// The root element: built from the empty text, it stands for no tag.
jobject newRoot(JNIEnv* env, jclass elementClass) {
  jmethodID ctor = x7::methodOf(env, elementClass, "<init>", "(Ljava/lang/String;)V");
  if (ctor == nullptr) return nullptr;
  Local<jstring> empty(env, env->NewStringUTF(""));
  if (!empty) return nullptr;
  return env->NewObject(elementClass, ctor, empty.get());
}

// Reports a saved file that cannot be opened; the exception is pending on entry.
void reportUnreadable(JNIEnv* env, jobject crawler, jstring name) {
  x7::diag("FileNotFoundException occured in FileInputStream.\n");
  env->ExceptionClear();
  std::string fileName;
  if (name != nullptr && !x7::copyString(env, name, fileName)) return;
  x7::appendLog(env, crawler, "Error reading downloaded file :", fileName);
}

// Reads the page through the root's findChild and closes the reader. False
// when reading or closing failed; then the exception has been cleared and the
// close diagnostic printed once. A failed read is cleared before the close,
// which must not run with an exception pending.
bool readPage(JNIEnv* env, jclass elementClass, jobject root, jclass readerClass, jobject reader) {
  bool failed = false;
  jmethodID findChild = x7::methodOf(env, elementClass, "findChild", "(Ljava/io/InputStreamReader;)V");
  if (findChild != nullptr) env->CallVoidMethod(root, findChild, reader);
  if (pending(env)) {
    env->ExceptionClear();
    failed = true;
  }
  jmethodID close = x7::methodOf(env, readerClass, "close", "()V");
  if (close != nullptr) env->CallVoidMethod(reader, close);
  if (pending(env)) {
    env->ExceptionClear();
    failed = true;
  }
  if (failed) x7::diag("IOException occured in InputStreamReader.close().\n");
  return !failed;
}

}  // namespace

JNIEXPORT void JNICALL Java_UrlLoad_pHTML(JNIEnv* env, jobject crawler, jobject node) {
  if (node == nullptr) return;
  Local<jclass> crawlerClass(env, env->GetObjectClass(crawler));
  Local<jclass> nodeClass(env, env->GetObjectClass(node));

  const auto wanted = x7::call<jboolean>(env, node, x7::methodOf(env, nodeClass.get(), "processHTML", "()Z"));
  if (!wanted || *wanted != JNI_TRUE) return;

  Local<jclass> elementClass(env, env->FindClass("x7Element"));
  if (!elementClass) return;
  Local<> root(env, newRoot(env, elementClass.get()));
  if (!root) return;

  jmethodID getName = x7::methodOf(env, nodeClass.get(), "getLoadedFilename", "()Ljava/lang/String;");
  const auto name = x7::call<Local<jstring>>(env, node, getName);
  if (!name) return;

  Local<jclass> inClass(env, env->FindClass("java/io/FileInputStream"));
  if (!inClass) return;
  jmethodID inCtor = x7::methodOf(env, inClass.get(), "<init>", "(Ljava/lang/String;)V");
  if (inCtor == nullptr) return;
  Local<> in(env, env->NewObject(inClass.get(), inCtor, name->get()));
  if (pending(env)) {
    reportUnreadable(env, crawler, name->get());
    return;
  }

  Local<jclass> readerClass(env, env->FindClass("java/io/InputStreamReader"));
  if (!readerClass) return;
  jmethodID readerCtor = x7::methodOf(env, readerClass.get(), "<init>", "(Ljava/io/InputStream;)V");
  if (readerCtor == nullptr) return;
  Local<> reader(env, env->NewObject(readerClass.get(), readerCtor, in.get()));
  if (!reader) return;

  if (!readPage(env, elementClass.get(), root.get(), readerClass.get(), reader.get())) return;

  // The base and its depth are in place before the scan: link discovery reads both.
  const auto url = x7::call<Local<>>(env, node, x7::methodOf(env, nodeClass.get(), "getURL", "()Ljava/net/URL;"));
  if (!url) return;
  jfieldID baseURL = x7::fieldOf(env, crawlerClass.get(), "baseURL", "Ljava/net/URL;");
  if (baseURL == nullptr) return;
  env->SetObjectField(crawler, baseURL, url->get());
  if (!x7::callVoid(env, crawler, x7::methodOf(env, crawlerClass.get(), "countBaseFileSlash", "()V"))) return;

  jmethodID scan = x7::methodOf(env, crawlerClass.get(), "scan_html", "(Lx7Element;)V");
  if (scan == nullptr) return;
  env->CallVoidMethod(crawler, scan, root.get());  // the last call: what it throws is the host's to see
}
