// Reads one tag of a page into an element: the text before it, then the tag
// itself as the element's end, a leaf child, a container child (read at once
// through the child's findChild) or text. Every character read ends up in
// some element's data, so writing the tree back gives the page again.
//
// The method recurses through the host's findChild once per nesting level,
// so its frame stays small: no buffers on the stack, the page goes from the
// reader straight into the host's StringBuffers. Any host call that leaves an
// exception pending (a failing reader, a StackOverflowError of a very deep
// page) ends the call at once with 0 and the exception left for the caller.
#include "host_calls.h"
#include "x7Element.h"

using x7::Local;
using x7::pending;

namespace {

const char* const kLeaves[] = {"frame", "img", "link", "meta"};
const char* const kContainers[] = {"a", "body", "frameset", "head", "html", "title"};
constexpr char kPlaceholder[] = "<x7Element>";

// Result of an append: the exception case must end the call, a null result
// only earns a diagnostic.
enum Appended { kFailed, kNull, kDone };

// Appends through one of StringBuffer's append methods and drops the buffer
// reference it returns, so that long runs of text do not fill the local
// reference table.
Appended appendTo(JNIEnv* env, jobject buf, jmethodID append, jvalue what) {
  jobject r = env->CallObjectMethodA(buf, append, &what);
  if (r != nullptr) env->DeleteLocalRef(r);
  if (pending(env)) return kFailed;
  return r == nullptr ? kNull : kDone;
}

Appended appendChar(JNIEnv* env, jobject buf, jmethodID append, jint c) {
  jvalue v;
  v.c = static_cast<jchar>(c);
  return appendTo(env, buf, append, v);
}

Appended appendString(JNIEnv* env, jobject buf, jmethodID append, jstring s) {
  jvalue v;
  v.l = s;
  return appendTo(env, buf, append, v);
}

// Appends a text made here, such as the placeholder. False with the exception
// pending on failure.
bool appendText(JNIEnv* env, jobject buf, jmethodID append, const char* text) {
  Local<jstring> s(env, env->NewStringUTF(text));
  if (!s) return false;
  return appendString(env, buf, append, s.get()) != kFailed;
}

// Index of the first of names that equals name ignoring case; -1 for none,
// -2 with the exception pending.
int indexOfName(JNIEnv* env, jstring name, jmethodID equalsIgnoreCase, const char* const* names, int count) {
  for (int i = 0; i < count; ++i) {
    Local<jstring> other(env, env->NewStringUTF(names[i]));
    if (!other) return -2;
    const auto same = x7::call<jboolean>(env, name, equalsIgnoreCase, other.get());
    if (!same) return -2;
    if (*same == JNI_TRUE) return i;
  }
  return -1;
}

// The tag buffer's text as a host string; null with the exception pending.
jstring textOf(JNIEnv* env, jclass stringClass, jobject tag) {
  jmethodID ctor = x7::methodOf(env, stringClass, "<init>", "(Ljava/lang/StringBuffer;)V");
  if (ctor == nullptr) return nullptr;
  return static_cast<jstring>(env->NewObject(stringClass, ctor, tag));
}

// Adds the child to the receiver's children. False with the exception pending.
// Out of line, so that its locals do not widen the frame of every nesting level.
[[gnu::noinline]] bool addChild(JNIEnv* env, jobject self, jclass selfClass, jobject child) {
  // The host's content fields are never null by contract.
  Local<> children = x7::requiredField(env, self, "children", "Ljava/util/List;", selfClass);
  if (!children) return false;
  // The list's own class: its add is what List.add dispatches to, found
  // without a class lookup by name.
  Local<jclass> listClass(env, env->GetObjectClass(children.get()));
  jmethodID add = x7::methodOf(env, listClass.get(), "add", "(Ljava/lang/Object;)Z");
  return x7::call<jboolean>(env, children.get(), add, child).has_value();
}

}  // namespace

JNIEXPORT jint JNICALL Java_x7Element_doOneTag(JNIEnv* env, jobject self, jobject reader) {
  jmethodID read = x7::methodOf(env, reader, "read", "()I");
  if (read == nullptr) return 0;
  Local<jclass> selfClass(env, env->GetObjectClass(self));
  Local<> data = x7::requiredField(env, self, "data", "Ljava/lang/StringBuffer;", selfClass.get());
  if (!data) return 0;
  // StringBuffer is final, so the class of data is "java/lang/StringBuffer"
  // itself, had without a lookup by name.
  Local<jclass> bufClass(env, env->GetObjectClass(data.get()));
  jmethodID appendC = x7::methodOf(env, bufClass.get(), "append", "(C)Ljava/lang/StringBuffer;");
  if (appendC == nullptr) return 0;

  // Text up to the next '<'.
  for (;;) {
    const auto c = x7::call<jint>(env, reader, read);
    if (!c || *c < 0) return 0;
    if (*c == '<') break;
    if (appendChar(env, data.get(), appendC, *c) == kFailed) return 0;
  }

  // The tag, through the first '>'.
  jmethodID bufCtor = x7::methodOf(env, bufClass.get(), "<init>", "()V");
  if (bufCtor == nullptr) return 0;
  Local<> tag(env, env->NewObject(bufClass.get(), bufCtor));
  if (!tag) return 0;
  Appended a = appendChar(env, tag.get(), appendC, '<');
  if (a == kFailed) return 0;
  if (a == kNull) x7::diag("append char is zero\n");
  jmethodID appendS = x7::methodOf(env, bufClass.get(), "append", "(Ljava/lang/String;)Ljava/lang/StringBuffer;");
  if (appendS == nullptr) return 0;
  Local<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return 0;
  for (;;) {
    const auto c = x7::call<jint>(env, reader, read);
    if (!c) return 0;
    if (*c < 0) {
      // The page ends inside a tag: what there is of it stays as text, so
      // that no character of the page is lost.
      Local<jstring> rest(env, textOf(env, stringClass.get(), tag.get()));
      if (rest) appendString(env, data.get(), appendS, rest.get());
      return 0;
    }
    if (*c == '>') break;
    a = appendChar(env, tag.get(), appendC, *c);
    if (a == kFailed) return 0;
    if (a == kNull) x7::diag("loop append char is zero\n");
  }
  a = appendChar(env, tag.get(), appendC, '>');
  if (a == kFailed) return 0;
  if (a == kNull) x7::diag("loop append char is zero\n");

  // The tag as a child of the receiver's own class.
  Local<jstring> tagText(env, textOf(env, stringClass.get(), tag.get()));
  if (!tagText) return 0;
  tag.reset(nullptr);
  jmethodID ctor = x7::methodOf(env, selfClass.get(), "<init>", "(Ljava/lang/String;)V");
  if (ctor == nullptr) return 0;
  Local<> child(env, env->NewObject(selfClass.get(), ctor, tagText.get()));
  if (!child) return 0;
  jmethodID getTagname = x7::methodOf(env, selfClass.get(), "getTagname", "()Ljava/lang/String;");
  if (getTagname == nullptr) return 0;
  // The names are held in plain Locals, not in call<>'s optional: this frame
  // stands once for every nesting level of the page.
  Local<jstring> name(env, static_cast<jstring>(env->CallObjectMethod(child.get(), getTagname)));
  if (pending(env)) return 0;

  // A tag without a name is text.
  if (name) {
    jmethodID getEndTagname = x7::methodOf(env, selfClass.get(), "getEndTagname", "()Ljava/lang/String;");
    if (getEndTagname == nullptr) return 0;
    Local<jstring> endName(env, static_cast<jstring>(env->CallObjectMethod(self, getEndTagname)));
    if (pending(env)) return 0;
    jmethodID equalsIgnoreCase = x7::methodOf(env, stringClass.get(), "equalsIgnoreCase", "(Ljava/lang/String;)Z");
    const auto closes = x7::call<jboolean>(env, name.get(), equalsIgnoreCase, endName.get());
    if (!closes) return 0;
    if (*closes == JNI_TRUE) {
      // The end tag is the last text of the element it closes.
      a = appendString(env, data.get(), appendS, tagText.get());
      if (a == kNull) x7::diag("data.append(tagAsString) is zero\n");
      return 0;
    }

    const int leaf = indexOfName(env, name.get(), equalsIgnoreCase, kLeaves, 4);
    if (leaf == -2) return 0;
    const int container =
        leaf >= 0 ? -1 : indexOfName(env, name.get(), equalsIgnoreCase, kContainers, 6);
    if (container == -2) return 0;
    if (leaf >= 0 || container >= 0) {
      name.reset(nullptr);
      endName.reset(nullptr);
      if (!addChild(env, self, selfClass.get(), child.get())) return 0;
      if (container >= 0) {
        jmethodID findChild = x7::methodOf(env, selfClass.get(), "findChild", "(Ljava/io/InputStreamReader;)V");
        if (!x7::callVoid(env, child.get(), findChild, reader)) return 0;
      }
      // The n-th placeholder stands for the n-th child.
      if (!appendText(env, data.get(), appendS, kPlaceholder)) return 0;
      return 1;
    }
  }

  appendString(env, data.get(), appendS, tagText.get());
  return 1;
}
