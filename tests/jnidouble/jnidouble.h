// A test double of the JVM as the natives see it: a JNI function table over a
// small model of the host's objects. It records what the natives do (host
// calls in order, field accesses, diagnostics on standard output, files on
// disk) so that a run of the Linux build and a run of the Windows build under
// Wine can be compared line by line.
//
// It also checks what -Xcheck:jni checks in a real JVM, where no such JVM is
// at hand (Windows): a JNI call with an exception pending, a call after a
// Call*Method without an exception check, a local reference used after its
// deletion, too many live local references, host characters not released, a
// lookup of a member the host does not have, a typed call that does not fit
// the method's result. Each aborts the scenario with a message naming it.
#ifndef X7_JNIDOUBLE_H
#define X7_JNIDOUBLE_H

#include <jni.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace jd {

// java/io/File.separatorChar of the platform the double is built for.
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

class Vm;
struct Class;
struct Object;

// A Java value; the method or field signature says which member counts.
struct Value {
  std::int64_t i = 0;  // Z B C S I J (F and D are not used by the natives)
  double d = 0;
  Object* o = nullptr;

  static Value of(std::int64_t v) { Value x; x.i = v; return x; }
  static Value obj(Object* p) { Value x; x.o = p; return x; }
};

using Args = std::vector<Value>;
// A host method: self is null for a static method.
using Impl = std::function<Value(Object* self, const Args& args)>;

struct Method {
  Class* owner;
  std::string name, sig;
  bool isStatic;
  Impl impl;
  std::vector<std::string> params;  // one type descriptor per parameter
  std::string ret;                  // result descriptor
};

struct Field {
  Class* owner;
  std::string name, sig;
  bool isStatic;
};

struct Class {
  std::string name;  // slash-separated, "java/lang/String"
  Class* super = nullptr;
  std::vector<Class*> interfaces;
  bool isInterface = false;
  std::deque<Method> methods;
  std::deque<Field> fields;
  std::map<std::string, Value> statics;
  Object* mirror = nullptr;  // the java/lang/Class object standing for it
  // The text a record shows for an instance; the simple class name if unset.
  std::function<std::string(const Object*)> describe;

  std::string simpleName() const;
  bool isSubclassOf(const Class* other) const;
  Method* declared(const std::string& name, const std::string& sig);
  Method* find(const std::string& name, const std::string& sig);  // with supers and interfaces
  Field* findField(const std::string& name, const std::string& sig, bool isStatic);
};

// One host object. A single shape serves every class of the model; each class
// uses the members it needs.
struct Object {
  Class* cls = nullptr;
  std::string text;                      // String chars (modified UTF-8), buffer text, URL, path, tag text
  std::vector<Object*> items;            // List
  std::vector<std::uint8_t> bytes;       // byte[]; bytes of a stream
  std::size_t pos = 0;                   // read position of a stream or reader
  std::int64_t number = 0;               // Date milliseconds; counters of scripted objects
  std::map<std::string, Value> fields;   // instance fields by name, and private state
  std::FILE* file = nullptr;             // an open FileOutputStream
  Class* classValue = nullptr;           // set on the mirror of a class
  std::string label;                     // fixed record text, set by a scenario
  bool path = false;                     // a String holding a platform path: shown with '/'
  std::function<void(Object* self)> hook;  // scripted behaviour (streams)
};

// What goes into the record file of a scenario.
class Recorder {
 public:
  explicit Recorder(Vm& vm) : vm_(vm) {}
  void line(const std::string& text);  // indented by the native nesting depth
  void raw(const std::string& text);   // not indented
  void appendToLast(const std::string& text);
  void captureStdout(const std::string& captureFile);
  void drainStdout();                  // moves new bytes of the natives' stdout into the record
  bool write(const std::string& path);
  const std::vector<std::string>& lines() const { return lines_; }
  const std::string& out() { drainStdout(); return out_; }  // all the natives printed so far

 private:
  Vm& vm_;
  std::vector<std::string> lines_;
  std::FILE* capture_ = nullptr;
  std::string out_;
};

// A native bound from the library under test.
struct Native {
  std::string cls, method;  // "UrlLoad", "jiplok"
  int argBytes = 0;         // bytes of all arguments on 32-bit Windows
  char ret = 'V';           // V, I or L
  void* fn = nullptr;

  std::string symbol() const;  // the name the platform's JVM binds
};

// The library under test, loaded as the platform's JVM loads it.
class Library {
 public:
  bool open(const std::string& path, std::string& error);
  // Binds n.fn by n.symbol(); false when the library does not export it.
  bool bind(Native& n);

 private:
  void* handle_ = nullptr;
};

// Calls a native with the platform's calling convention. On 32-bit Windows
// it also checks that the native kept to __stdcall: it popped its own
// arguments and preserved the registers a callee must preserve.
std::intptr_t invokeNative(Vm& vm, const Native& n, const std::vector<jobject>& args);

class Vm {
 public:
  Vm();
  ~Vm();
  Vm(const Vm&) = delete;
  Vm& operator=(const Vm&) = delete;

  JNIEnv* env();
  Recorder& rec() { return rec_; }
  struct EnvBox;  // the JNIEnv handed to the natives, and its Vm

  // Model.
  Class* defineClass(const std::string& name, Class* super, std::vector<Class*> interfaces = {},
                     bool isInterface = false);
  Class* classNamed(const std::string& name);  // null when the model has none
  Method& method(Class* c, const std::string& name, const std::string& sig, Impl impl);
  Method& staticMethod(Class* c, const std::string& name, const std::string& sig, Impl impl);
  void field(Class* c, const std::string& name, const std::string& sig);
  void staticField(Class* c, const std::string& name, const std::string& sig, Value v);
  Object* alloc(Class* c);
  Object* newString(const std::string& utf);
  Object* instantiate(const std::string& cls, const Args& args, const std::string& sig);
  Value call(Object* self, const std::string& name, const std::string& sig, const Args& args = {});
  std::string describe(const Value& v, const std::string& type);
  std::string describeObject(const Object* o);
  std::string show(const std::string& text) const;  // the work folder as <work>

  // Exceptions raised by host methods.
  Value raise(const std::string& cls, const std::string& message);
  Object* pending() const { return pending_; }
  void setPending(Object* e) { pending_ = e; }

  // Fatal misuse found in the natives: recorded, then the process ends.
  [[noreturn]] void fatal(const std::string& message);

  // References.
  jobject ref(Object* o);          // a new local reference in the current frame
  Object* deref(jobject r, const char* fn);
  void deleteRef(jobject r, const char* fn);
  void ensureCapacity(int n) { frames_.back().capacity = std::max(frames_.back().capacity, n); }
  void pushFrame(int capacity);
  void popFrame();
  int nativeDepth() const { return nativeDepth_; }

  // JNI entry bookkeeping.
  void enter(const char* fn, bool exceptionAllowed = false);
  void markCallMade(const char* fn) { uncheckedCall_ = fn; }
  void exceptionChecked() { uncheckedCall_.clear(); }

  // Calls from the natives into the model.
  enum class Dispatch { Virtual, Nonvirtual, Static };
  Value invoke(const char* fn, Dispatch how, jobject target, jclass cls, jmethodID mid, const Args& args,
               char expectRet);
  Args readArgs(jmethodID mid, std::va_list ap);
  Args readArgs(jmethodID mid, const jvalue* args);
  Method* methodOf(jmethodID m, const char* fn);
  Field* fieldOf(jfieldID f, const char* fn);
  Value newObject(const char* fn, jclass cls, jmethodID mid, const Args& args);
  Value getField(const char* fn, jobject obj, jfieldID f, char type, bool isStatic);
  void setField(const char* fn, jobject obj, jfieldID f, char type, bool isStatic, Value v);

  // Strings handed out by GetStringUTFChars and not yet released.
  const char* utfChars(Object* s);
  void releaseUtfChars(Object* s, const char* chars);

  // Calls of natives, with the frame the JVM would give them.
  Value callNative(const Native& n, Object* receiver, const Args& args);

  // Paths under the scenario's work folder show as <work>/... with '/'.
  std::string workDir;
  char separator = kSeparator;
  std::int64_t now = 0;  // what new Date() gives

 private:
  struct Ref {
    Object* obj;
    int frame;
    bool live;
  };
  struct Frame {
    int capacity = 32;
    int live = 0;
    std::vector<Ref*> refs;
  };
  struct Utf {
    Object* str;
    int frame;
    std::unique_ptr<char[]> chars;
  };

  Recorder rec_;
  std::unique_ptr<EnvBox> box_;
  std::deque<Class> classes_;
  std::map<std::string, Class*> classByName_;
  std::deque<std::unique_ptr<Object>> objects_;
  std::deque<Ref> refs_;
  std::vector<Frame> frames_;
  std::vector<Utf> utf_;
  Object* pending_ = nullptr;
  std::string uncheckedCall_;
  int nativeDepth_ = 0;
  std::string recordPath_;

  friend class Recorder;
  friend void setRecordPath(Vm& vm, const std::string& path);
};

void setRecordPath(Vm& vm, const std::string& path);

// The JNI function table of the double.
const JNINativeInterface_* functionTable();
Vm& vmOf(JNIEnv* env);

// Text helpers.
std::string quote(const std::string& s);
std::string javaCharToUtf(unsigned c);
std::vector<std::string> splitParams(const std::string& sig, std::string& ret);

}  // namespace jd

#endif
