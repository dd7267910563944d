// Link rewriting of one element of a saved page: the link of an img, frame or
// a tag is pointed at the saved copy of its target, relative to the page, or
// at the target's absolute URL when the target was not saved.
#include <string>

#include "UpdParent.h"
#include "host_calls.h"
#include "links/link_table.h"
#include "text.h"

using x7::Local;
using x7::pending;

namespace {

// Calls a node's getLoadedFilename. Returns false with an exception pending
// on failure; a null name leaves `present` false.
bool loadedName(JNIEnv* env, jobject node, std::string& out, bool& present) {
  const auto s = x7::call<Local<jstring>>(env, node, "getLoadedFilename", "()Ljava/lang/String;");
  if (!s) return false;
  present = static_cast<bool>(*s);
  if (!present) return true;
  return x7::copyString(env, s->get(), out);
}

// The path from the parent page's saved file to the target's, as a new host
// string. Returns null when nothing is to be done: an exception is pending,
// or the parent or the target has no saved file name (then nothing pends).
jstring relativeValue(JNIEnv* env, jobject receiver, jobject target) {
  jfieldID parentId = x7::fieldOf(env, receiver, "parentlURL", "Lcom/tolvak/fenwix/NodeURL;");
  if (parentId == nullptr) return nullptr;
  Local<> parent(env, env->GetObjectField(receiver, parentId));
  if (!parent) return nullptr;
  std::string parentName, targetName;
  bool hasParent = false, hasTarget = false;
  if (!loadedName(env, parent.get(), parentName, hasParent) || !hasParent) return nullptr;
  if (!loadedName(env, target, targetName, hasTarget) || !hasTarget) return nullptr;

  Local<jclass> fileClass(env, env->FindClass("java/io/File"));
  if (!fileClass) return nullptr;
  jfieldID sepId = x7::staticFieldOf(env, fileClass.get(), "separatorChar", "C");
  if (sepId == nullptr) return nullptr;
  const jchar sep = env->GetStaticCharField(fileClass.get(), sepId);

  const std::string path = x7::text::relativePath(parentName, targetName, static_cast<char>(sep));
  jstring value = env->NewStringUTF(path.c_str());
  if (value == nullptr) x7::diag("replace 2 is zero.\n");
  return value;
}

// The target's absolute URL text as a host string; null when an exception is
// pending or the target has no URL.
jstring absoluteValue(JNIEnv* env, jobject target) {
  const auto url = x7::call<Local<>>(env, target, "getURL", "()Ljava/net/URL;");
  if (!url || !*url) return nullptr;
  auto text = x7::call<Local<jstring>>(env, url->get(), "toString", "()Ljava/lang/String;");
  if (!text) return nullptr;
  return text->release();
}

}  // namespace

JNIEXPORT void JNICALL Java_UpdParent_repAttrib(JNIEnv* env, jobject receiver, jobject element,
                                                jstring tagName) {
  const x7::LinkTag* row;
  {
    x7::Utf tag(env, tagName);
    if (!tag) return;
    row = x7::linkTagOf(tag.c_str());
  }
  if (row == nullptr || !row->rewritten) return;

  Local<jstring> attrName(env, env->NewStringUTF(row->attribute));
  if (!attrName) return;
  const auto value =
      x7::call<Local<jstring>>(env, element, "getAttribute", "(Ljava/lang/String;)Ljava/lang/String;", attrName.get());
  if (!value || !*value) return;
  std::string raw;
  if (!x7::copyString(env, value->get(), raw)) return;
  const std::string link(x7::text::stripQuotes(raw));

  Local<jstring> linkStr(env, env->NewStringUTF(link.c_str()));
  if (!linkStr) return;
  const auto target =
      x7::call<Local<>>(env, receiver, "findMatch", "(Ljava/lang/String;)Lcom/tolvak/fenwix/NodeURL;", linkStr.get());
  if (!target || !*target) return;

  const auto loaded = x7::call<jboolean>(env, target->get(), "isLoaded", "()Z");
  if (!loaded) return;

  Local<jstring> newValue(env, *loaded ? relativeValue(env, receiver, target->get())
                                       : absoluteValue(env, target->get()));
  if (!newValue) return;

  {
    x7::Utf now(env, newValue.get());
    if (!now) return;
    if (now.view() == link) return;
  }

  jfieldID modified = x7::fieldOf(env, receiver, "isModified", "Z");
  if (modified == nullptr) return;
  env->SetBooleanField(receiver, modified, JNI_TRUE);

  const auto replaced = x7::call<jboolean>(env, element, "replaceAttribute",
                                           "(Ljava/lang/String;Ljava/lang/String;)Z", attrName.get(), newValue.get());
  if (!replaced) return;
  if (!*replaced) x7::diag("tree.replaceAttribute(.) is false!\n");
}
