// The JNI function table of the double. Every slot first holds a stub that
// names its function and aborts; the functions the natives use replace them.
#include <cstddef>
#include <cstring>

#include "jni_slots.h"
#include "jnidouble.h"

namespace jd {
namespace {

// The slot list must match the header's layout exactly, or a stub would
// carry the wrong name.
#define X7_OFFSET(name) offsetof(JNINativeInterface_, name),
constexpr std::size_t kOffsets[] = {X7_JNI_SLOTS(X7_OFFSET)};
#undef X7_OFFSET

constexpr bool slotsInOrder() {
  for (std::size_t i = 0; i < sizeof kOffsets / sizeof kOffsets[0]; ++i) {
    if (kOffsets[i] != (i + 4) * sizeof(void*)) return false;
  }
  return sizeof(JNINativeInterface_) == (sizeof kOffsets / sizeof kOffsets[0] + 4) * sizeof(void*);
}
static_assert(slotsInOrder(), "jni_slots.h does not match jni.h");

#define X7_STUB(name)                                                                          \
  void JNICALL stub_##name(JNIEnv* env) {                                                      \
    vmOf(env).fatal("the natives called JNI function " #name ", which the double does not implement"); \
  }
X7_JNI_SLOTS(X7_STUB)
#undef X7_STUB

Class* classArg(Vm& vm, jclass c, const char* fn) {
  Object* o = vm.deref(c, fn);
  if (o == nullptr || o->classValue == nullptr) vm.fatal(std::string(fn) + ": not a class");
  return o->classValue;
}

Object* stringArg(Vm& vm, jstring s, const char* fn) {
  Object* o = vm.deref(s, fn);
  if (o == nullptr) vm.fatal(std::string(fn) + ": null string");
  if (o->cls->name != "java/lang/String") vm.fatal(std::string(fn) + ": not a string but " + o->cls->name);
  return o;
}

Object* byteArrayArg(Vm& vm, jarray a, const char* fn) {
  Object* o = vm.deref(a, fn);
  if (o == nullptr) vm.fatal(std::string(fn) + ": null array");
  if (o->cls->name != "[B") vm.fatal(std::string(fn) + ": not a byte array but " + o->cls->name);
  return o;
}

// Well-formed modified UTF-8: no raw NUL (it ends the C string anyway), no
// four-byte forms, continuation bytes where they belong.
bool validModifiedUtf8(const char* s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p != 0) {
    int extra;
    if (*p < 0x80) extra = 0;
    else if ((*p & 0xe0) == 0xc0) extra = 1;
    else if ((*p & 0xf0) == 0xe0) extra = 2;
    else return false;
    ++p;
    for (int k = 0; k < extra; ++k, ++p) {
      if ((*p & 0xc0) != 0x80) return false;
    }
  }
  return true;
}

template <class J>
J toJ(Vm& vm, const Value& v);
template <> void toJ<void>(Vm&, const Value&) {}
template <> jobject toJ<jobject>(Vm& vm, const Value& v) { return vm.ref(v.o); }
template <> jboolean toJ<jboolean>(Vm&, const Value& v) { return static_cast<jboolean>(v.i); }
template <> jbyte toJ<jbyte>(Vm&, const Value& v) { return static_cast<jbyte>(v.i); }
template <> jchar toJ<jchar>(Vm&, const Value& v) { return static_cast<jchar>(v.i); }
template <> jshort toJ<jshort>(Vm&, const Value& v) { return static_cast<jshort>(v.i); }
template <> jint toJ<jint>(Vm&, const Value& v) { return static_cast<jint>(v.i); }
template <> jlong toJ<jlong>(Vm&, const Value& v) { return static_cast<jlong>(v.i); }
template <> jfloat toJ<jfloat>(Vm&, const Value& v) { return static_cast<jfloat>(v.d); }
template <> jdouble toJ<jdouble>(Vm&, const Value& v) { return v.d; }

Value fromJ(jobject, Vm& vm, jobject v, const char* fn) { return Value::obj(vm.deref(v, fn)); }
Value fromJ(jdouble, Vm&, jdouble v, const char*) { Value x; x.d = v; return x; }
Value fromJ(jfloat, Vm&, jfloat v, const char*) { Value x; x.d = v; return x; }
template <class T>
Value fromJ(T, Vm&, T v, const char*) { return Value::of(static_cast<std::int64_t>(v)); }

// ---- classes and objects -------------------------------------------------

jint JNICALL GetVersion(JNIEnv*) { return JNI_VERSION_1_8; }

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
  Vm& vm = vmOf(env);
  vm.enter("FindClass");
  Class* c = vm.classNamed(name);
  if (c == nullptr) vm.fatal(std::string("FindClass: the host has no class ") + name);
  return static_cast<jclass>(vm.ref(c->mirror));
}

jclass JNICALL GetSuperclass(JNIEnv* env, jclass cls) {
  Vm& vm = vmOf(env);
  vm.enter("GetSuperclass");
  Class* c = classArg(vm, cls, "GetSuperclass");
  if (c->isInterface || c->super == nullptr) return nullptr;
  return static_cast<jclass>(vm.ref(c->super->mirror));
}

jboolean JNICALL IsAssignableFrom(JNIEnv* env, jclass a, jclass b) {
  Vm& vm = vmOf(env);
  vm.enter("IsAssignableFrom");
  return classArg(vm, a, "IsAssignableFrom")->isSubclassOf(classArg(vm, b, "IsAssignableFrom")) ? JNI_TRUE : JNI_FALSE;
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
  Vm& vm = vmOf(env);
  vm.enter("GetObjectClass");
  Object* o = vm.deref(obj, "GetObjectClass");
  if (o == nullptr) vm.fatal("GetObjectClass of null");
  return static_cast<jclass>(vm.ref(o->cls->mirror));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject obj, jclass cls) {
  Vm& vm = vmOf(env);
  vm.enter("IsInstanceOf");
  Object* o = vm.deref(obj, "IsInstanceOf");
  return o == nullptr || o->cls->isSubclassOf(classArg(vm, cls, "IsInstanceOf")) ? JNI_TRUE : JNI_FALSE;
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject a, jobject b) {
  Vm& vm = vmOf(env);
  vm.enter("IsSameObject");
  return vm.deref(a, "IsSameObject") == vm.deref(b, "IsSameObject") ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject r) {
  Vm& vm = vmOf(env);
  vm.enter("NewLocalRef");
  return vm.ref(vm.deref(r, "NewLocalRef"));
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject r) {
  Vm& vm = vmOf(env);
  vm.enter("DeleteLocalRef", true);
  vm.deleteRef(r, "DeleteLocalRef");
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint n) {
  Vm& vm = vmOf(env);
  vm.enter("EnsureLocalCapacity");
  vm.ensureCapacity(n);
  return 0;
}

jint JNICALL PushLocalFrame(JNIEnv* env, jint n) {
  Vm& vm = vmOf(env);
  vm.enter("PushLocalFrame", true);
  vm.pushFrame(n);
  return 0;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
  Vm& vm = vmOf(env);
  vm.enter("PopLocalFrame", true);
  Object* o = vm.deref(result, "PopLocalFrame");
  vm.popFrame();
  return vm.ref(o);
}

jobjectRefType JNICALL GetObjectRefType(JNIEnv* env, jobject r) {
  Vm& vm = vmOf(env);
  vm.enter("GetObjectRefType");
  return vm.deref(r, "GetObjectRefType") == nullptr ? JNIInvalidRefType : JNILocalRefType;
}

// ---- exceptions ----------------------------------------------------------

jint JNICALL Throw(JNIEnv* env, jthrowable t) {
  Vm& vm = vmOf(env);
  vm.enter("Throw");
  Object* e = vm.deref(t, "Throw");
  if (e == nullptr) vm.fatal("Throw of null");
  vm.rec().line("Throw " + e->cls->name + ": " + vm.show(e->text));
  vm.setPending(e);
  return 0;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass cls, const char* message) {
  Vm& vm = vmOf(env);
  vm.enter("ThrowNew");
  Class* c = classArg(vm, cls, "ThrowNew");
  const std::string text = message != nullptr ? message : "";
  vm.rec().line("ThrowNew " + c->name + ": " + vm.show(text));
  vm.raise(c->name, text);
  return 0;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
  Vm& vm = vmOf(env);
  vm.enter("ExceptionOccurred", true);
  vm.exceptionChecked();
  return static_cast<jthrowable>(vm.ref(vm.pending()));
}

void JNICALL ExceptionDescribe(JNIEnv* env) {
  Vm& vm = vmOf(env);
  vm.enter("ExceptionDescribe", true);
  if (vm.pending() == nullptr) return;
  // The JVM prints the exception on its error channel and clears it.
  vm.rec().line("ExceptionDescribe " + vm.pending()->cls->name + ": " + vm.show(vm.pending()->text));
  std::fprintf(stderr, "Exception %s: %s\n", vm.pending()->cls->name.c_str(), vm.pending()->text.c_str());
  vm.setPending(nullptr);
}

void JNICALL ExceptionClear(JNIEnv* env) {
  Vm& vm = vmOf(env);
  vm.enter("ExceptionClear", true);
  vm.exceptionChecked();
  if (vm.pending() == nullptr) return;
  vm.rec().line("ExceptionClear " + vm.pending()->cls->name);
  vm.setPending(nullptr);
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
  Vm& vm = vmOf(env);
  vm.enter("ExceptionCheck", true);
  vm.exceptionChecked();
  return vm.pending() != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL FatalError(JNIEnv* env, const char* msg) { vmOf(env).fatal(std::string("FatalError: ") + msg); }

// ---- lookups -------------------------------------------------------------

jmethodID lookupMethod(JNIEnv* env, jclass cls, const char* name, const char* sig, bool isStatic, const char* fn) {
  Vm& vm = vmOf(env);
  vm.enter(fn);
  Class* c = classArg(vm, cls, fn);
  Method* m = c->find(name, sig);
  if (m == nullptr || m->isStatic != isStatic) {
    vm.fatal(std::string(fn) + ": " + c->name + " has no " + (isStatic ? "static " : "") + "method " + name + " " +
             sig);
  }
  return reinterpret_cast<jmethodID>(m);
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return lookupMethod(env, cls, name, sig, false, "GetMethodID");
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return lookupMethod(env, cls, name, sig, true, "GetStaticMethodID");
}

jfieldID lookupField(JNIEnv* env, jclass cls, const char* name, const char* sig, bool isStatic, const char* fn) {
  Vm& vm = vmOf(env);
  vm.enter(fn);
  Class* c = classArg(vm, cls, fn);
  Field* f = c->findField(name, sig, isStatic);
  if (f == nullptr) {
    vm.fatal(std::string(fn) + ": " + c->name + " has no " + (isStatic ? "static " : "") + "field " + name + " " +
             sig);
  }
  return reinterpret_cast<jfieldID>(f);
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return lookupField(env, cls, name, sig, false, "GetFieldID");
}

jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  return lookupField(env, cls, name, sig, true, "GetStaticFieldID");
}

// ---- calls ---------------------------------------------------------------

jobject JNICALL NewObjectV(JNIEnv* env, jclass cls, jmethodID m, va_list ap) {
  Vm& vm = vmOf(env);
  vm.enter("NewObject");
  const Args a = vm.readArgs(m, ap);
  return vm.ref(vm.newObject("NewObject", cls, m, a).o);
}

jobject JNICALL NewObject(JNIEnv* env, jclass cls, jmethodID m, ...) {
  va_list ap;
  va_start(ap, m);
  jobject r = NewObjectV(env, cls, m, ap);
  va_end(ap);
  return r;
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass cls, jmethodID m, const jvalue* args) {
  Vm& vm = vmOf(env);
  vm.enter("NewObjectA");
  const Args a = vm.readArgs(m, args);
  return vm.ref(vm.newObject("NewObjectA", cls, m, a).o);
}

#define X7_CALLS(T, J, K)                                                                              \
  J JNICALL Call##T##MethodV(JNIEnv* env, jobject obj, jmethodID m, va_list ap) {                      \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("Call" #T "Method");                                                                      \
    const Args a = vm.readArgs(m, ap);                                                                 \
    return toJ<J>(vm, vm.invoke("Call" #T "Method", Vm::Dispatch::Virtual, obj, nullptr, m, a, K));    \
  }                                                                                                    \
  J JNICALL Call##T##Method(JNIEnv* env, jobject obj, jmethodID m, ...) {                              \
    va_list ap;                                                                                        \
    va_start(ap, m);                                                                                   \
    struct End {                                                                                       \
      va_list& ap;                                                                                     \
      ~End() { va_end(ap); }                                                                           \
    } end{ap};                                                                                         \
    return Call##T##MethodV(env, obj, m, ap);                                                          \
  }                                                                                                    \
  J JNICALL Call##T##MethodA(JNIEnv* env, jobject obj, jmethodID m, const jvalue* args) {              \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("Call" #T "MethodA");                                                                     \
    const Args a = vm.readArgs(m, args);                                                               \
    return toJ<J>(vm, vm.invoke("Call" #T "MethodA", Vm::Dispatch::Virtual, obj, nullptr, m, a, K));   \
  }                                                                                                    \
  J JNICALL CallNonvirtual##T##MethodV(JNIEnv* env, jobject obj, jclass cls, jmethodID m, va_list ap) { \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("CallNonvirtual" #T "Method");                                                            \
    const Args a = vm.readArgs(m, ap);                                                                 \
    return toJ<J>(vm, vm.invoke("CallNonvirtual" #T "Method", Vm::Dispatch::Nonvirtual, obj, cls, m, a, K)); \
  }                                                                                                    \
  J JNICALL CallNonvirtual##T##Method(JNIEnv* env, jobject obj, jclass cls, jmethodID m, ...) {        \
    va_list ap;                                                                                        \
    va_start(ap, m);                                                                                   \
    struct End {                                                                                       \
      va_list& ap;                                                                                     \
      ~End() { va_end(ap); }                                                                           \
    } end{ap};                                                                                         \
    return CallNonvirtual##T##MethodV(env, obj, cls, m, ap);                                           \
  }                                                                                                    \
  J JNICALL CallNonvirtual##T##MethodA(JNIEnv* env, jobject obj, jclass cls, jmethodID m, const jvalue* args) { \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("CallNonvirtual" #T "MethodA");                                                           \
    const Args a = vm.readArgs(m, args);                                                               \
    return toJ<J>(vm, vm.invoke("CallNonvirtual" #T "MethodA", Vm::Dispatch::Nonvirtual, obj, cls, m, a, K)); \
  }                                                                                                    \
  J JNICALL CallStatic##T##MethodV(JNIEnv* env, jclass cls, jmethodID m, va_list ap) {                 \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("CallStatic" #T "Method");                                                                \
    const Args a = vm.readArgs(m, ap);                                                                 \
    return toJ<J>(vm, vm.invoke("CallStatic" #T "Method", Vm::Dispatch::Static, nullptr, cls, m, a, K)); \
  }                                                                                                    \
  J JNICALL CallStatic##T##Method(JNIEnv* env, jclass cls, jmethodID m, ...) {                         \
    va_list ap;                                                                                        \
    va_start(ap, m);                                                                                   \
    struct End {                                                                                       \
      va_list& ap;                                                                                     \
      ~End() { va_end(ap); }                                                                           \
    } end{ap};                                                                                         \
    return CallStatic##T##MethodV(env, cls, m, ap);                                                    \
  }                                                                                                    \
  J JNICALL CallStatic##T##MethodA(JNIEnv* env, jclass cls, jmethodID m, const jvalue* args) {         \
    Vm& vm = vmOf(env);                                                                                \
    vm.enter("CallStatic" #T "MethodA");                                                               \
    const Args a = vm.readArgs(m, args);                                                               \
    return toJ<J>(vm, vm.invoke("CallStatic" #T "MethodA", Vm::Dispatch::Static, nullptr, cls, m, a, K)); \
  }

X7_CALLS(Object, jobject, 'L')
X7_CALLS(Boolean, jboolean, 'Z')
X7_CALLS(Byte, jbyte, 'B')
X7_CALLS(Char, jchar, 'C')
X7_CALLS(Short, jshort, 'S')
X7_CALLS(Int, jint, 'I')
X7_CALLS(Long, jlong, 'J')
X7_CALLS(Float, jfloat, 'F')
X7_CALLS(Double, jdouble, 'D')
X7_CALLS(Void, void, 'V')
#undef X7_CALLS

// ---- fields --------------------------------------------------------------

#define X7_FIELDS(T, J, K)                                                                   \
  J JNICALL Get##T##Field(JNIEnv* env, jobject obj, jfieldID f) {                            \
    Vm& vm = vmOf(env);                                                                      \
    vm.enter("Get" #T "Field");                                                              \
    return toJ<J>(vm, vm.getField("Get" #T "Field", obj, f, K, false));                      \
  }                                                                                          \
  void JNICALL Set##T##Field(JNIEnv* env, jobject obj, jfieldID f, J v) {                    \
    Vm& vm = vmOf(env);                                                                      \
    vm.enter("Set" #T "Field");                                                              \
    vm.setField("Set" #T "Field", obj, f, K, false, fromJ(J(), vm, v, "Set" #T "Field"));    \
  }                                                                                          \
  J JNICALL GetStatic##T##Field(JNIEnv* env, jclass cls, jfieldID f) {                       \
    Vm& vm = vmOf(env);                                                                      \
    vm.enter("GetStatic" #T "Field");                                                        \
    return toJ<J>(vm, vm.getField("GetStatic" #T "Field", cls, f, K, true));                 \
  }                                                                                          \
  void JNICALL SetStatic##T##Field(JNIEnv* env, jclass cls, jfieldID f, J v) {               \
    Vm& vm = vmOf(env);                                                                      \
    vm.enter("SetStatic" #T "Field");                                                        \
    vm.setField("SetStatic" #T "Field", cls, f, K, true, fromJ(J(), vm, v, "SetStatic" #T "Field")); \
  }

X7_FIELDS(Object, jobject, 'L')
X7_FIELDS(Boolean, jboolean, 'Z')
X7_FIELDS(Byte, jbyte, 'B')
X7_FIELDS(Char, jchar, 'C')
X7_FIELDS(Short, jshort, 'S')
X7_FIELDS(Int, jint, 'I')
X7_FIELDS(Long, jlong, 'J')
X7_FIELDS(Float, jfloat, 'F')
X7_FIELDS(Double, jdouble, 'D')
#undef X7_FIELDS

// ---- strings -------------------------------------------------------------

jstring JNICALL NewStringUTF(JNIEnv* env, const char* bytes) {
  Vm& vm = vmOf(env);
  vm.enter("NewStringUTF");
  if (bytes == nullptr) return nullptr;
  if (!validModifiedUtf8(bytes)) vm.fatal("NewStringUTF of malformed modified UTF-8: " + quote(bytes));
  return static_cast<jstring>(vm.ref(vm.newString(bytes)));
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring s) {
  Vm& vm = vmOf(env);
  vm.enter("GetStringUTFLength");
  return static_cast<jsize>(stringArg(vm, s, "GetStringUTFLength")->text.size());
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring s) {
  Vm& vm = vmOf(env);
  vm.enter("GetStringLength");
  const std::string& t = stringArg(vm, s, "GetStringLength")->text;
  jsize n = 0;
  for (unsigned char c : t) {
    if ((c & 0xc0) != 0x80) ++n;  // one UTF-16 unit per lead byte
  }
  return n;
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring s, jboolean* isCopy) {
  Vm& vm = vmOf(env);
  vm.enter("GetStringUTFChars");
  Object* o = stringArg(vm, s, "GetStringUTFChars");
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  return vm.utfChars(o);
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring s, const char* chars) {
  Vm& vm = vmOf(env);
  vm.enter("ReleaseStringUTFChars", true);
  vm.releaseUtfChars(stringArg(vm, s, "ReleaseStringUTFChars"), chars);
}

// ---- byte arrays ---------------------------------------------------------

jsize JNICALL GetArrayLength(JNIEnv* env, jarray a) {
  Vm& vm = vmOf(env);
  vm.enter("GetArrayLength");
  return static_cast<jsize>(byteArrayArg(vm, a, "GetArrayLength")->bytes.size());
}

jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize n) {
  Vm& vm = vmOf(env);
  vm.enter("NewByteArray");
  if (n < 0) {
    vm.raise("java/lang/NegativeArraySizeException", std::to_string(n));
    return nullptr;
  }
  Object* a = vm.alloc(vm.classNamed("[B"));
  a->bytes.assign(static_cast<std::size_t>(n), 0);
  return static_cast<jbyteArray>(vm.ref(a));
}

bool regionOk(Vm& vm, Object* a, jsize start, jsize len) {
  if (start < 0 || len < 0 || static_cast<std::size_t>(start) + static_cast<std::size_t>(len) > a->bytes.size()) {
    vm.raise("java/lang/ArrayIndexOutOfBoundsException", "Array region " + std::to_string(start) + ".." +
                                                             std::to_string(start + len) + " out of bounds");
    return false;
  }
  return true;
}

void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray arr, jsize start, jsize len, jbyte* buf) {
  Vm& vm = vmOf(env);
  vm.enter("GetByteArrayRegion");
  Object* a = byteArrayArg(vm, arr, "GetByteArrayRegion");
  if (regionOk(vm, a, start, len) && len > 0) std::memcpy(buf, a->bytes.data() + start, static_cast<std::size_t>(len));
}

void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray arr, jsize start, jsize len, const jbyte* buf) {
  Vm& vm = vmOf(env);
  vm.enter("SetByteArrayRegion");
  Object* a = byteArrayArg(vm, arr, "SetByteArrayRegion");
  if (regionOk(vm, a, start, len) && len > 0) std::memcpy(a->bytes.data() + start, buf, static_cast<std::size_t>(len));
}

}  // namespace

const JNINativeInterface_* functionTable() {
  static const JNINativeInterface_ table = [] {
    JNINativeInterface_ t;
    std::memset(&t, 0, sizeof t);
#define X7_FILL(name) t.name = reinterpret_cast<decltype(t.name)>(reinterpret_cast<void (*)()>(&stub_##name));
    X7_JNI_SLOTS(X7_FILL)
#undef X7_FILL
#define X7_SET(name) t.name = &name;
    X7_SET(GetVersion)
    X7_SET(FindClass)
    X7_SET(GetSuperclass)
    X7_SET(IsAssignableFrom)
    X7_SET(Throw)
    X7_SET(ThrowNew)
    X7_SET(ExceptionOccurred)
    X7_SET(ExceptionDescribe)
    X7_SET(ExceptionClear)
    X7_SET(FatalError)
    X7_SET(PushLocalFrame)
    X7_SET(PopLocalFrame)
    X7_SET(DeleteLocalRef)
    X7_SET(IsSameObject)
    X7_SET(NewLocalRef)
    X7_SET(EnsureLocalCapacity)
    X7_SET(NewObject)
    X7_SET(NewObjectV)
    X7_SET(NewObjectA)
    X7_SET(GetObjectClass)
    X7_SET(IsInstanceOf)
    X7_SET(GetMethodID)
    X7_SET(GetStaticMethodID)
    X7_SET(GetFieldID)
    X7_SET(GetStaticFieldID)
#define X7_SET_CALLS(T)                 \
  X7_SET(Call##T##Method)               \
  X7_SET(Call##T##MethodV)              \
  X7_SET(Call##T##MethodA)              \
  X7_SET(CallNonvirtual##T##Method)     \
  X7_SET(CallNonvirtual##T##MethodV)    \
  X7_SET(CallNonvirtual##T##MethodA)    \
  X7_SET(CallStatic##T##Method)         \
  X7_SET(CallStatic##T##MethodV)        \
  X7_SET(CallStatic##T##MethodA)
    X7_SET_CALLS(Object)
    X7_SET_CALLS(Boolean)
    X7_SET_CALLS(Byte)
    X7_SET_CALLS(Char)
    X7_SET_CALLS(Short)
    X7_SET_CALLS(Int)
    X7_SET_CALLS(Long)
    X7_SET_CALLS(Float)
    X7_SET_CALLS(Double)
    X7_SET_CALLS(Void)
#undef X7_SET_CALLS
#define X7_SET_FIELDS(T)          \
  X7_SET(Get##T##Field)           \
  X7_SET(Set##T##Field)           \
  X7_SET(GetStatic##T##Field)     \
  X7_SET(SetStatic##T##Field)
    X7_SET_FIELDS(Object)
    X7_SET_FIELDS(Boolean)
    X7_SET_FIELDS(Byte)
    X7_SET_FIELDS(Char)
    X7_SET_FIELDS(Short)
    X7_SET_FIELDS(Int)
    X7_SET_FIELDS(Long)
    X7_SET_FIELDS(Float)
    X7_SET_FIELDS(Double)
#undef X7_SET_FIELDS
    X7_SET(NewStringUTF)
    X7_SET(GetStringUTFLength)
    X7_SET(GetStringLength)
    X7_SET(GetStringUTFChars)
    X7_SET(ReleaseStringUTFChars)
    X7_SET(GetArrayLength)
    X7_SET(NewByteArray)
    X7_SET(GetByteArrayRegion)
    X7_SET(SetByteArrayRegion)
    X7_SET(ExceptionCheck)
    X7_SET(GetObjectRefType)
#undef X7_SET
    return t;
  }();
  return &table;
}

}  // namespace jd
