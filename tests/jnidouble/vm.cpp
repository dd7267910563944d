// The double's core: classes, objects, local references and their frames,
// exceptions, calls from the natives into the model, and the record.
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "jnidouble.h"

namespace jd {

// ---- text helpers --------------------------------------------------------

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// One UTF-16 unit as modified UTF-8: NUL takes two bytes, as in the JVM.
std::string javaCharToUtf(unsigned c) {
  std::string out;
  if (c != 0 && c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
  return out;
}

std::vector<std::string> splitParams(const std::string& sig, std::string& ret) {
  std::vector<std::string> params;
  std::size_t i = 1;  // after '('
  while (i < sig.size() && sig[i] != ')') {
    std::size_t start = i;
    while (sig[i] == '[') ++i;
    if (sig[i] == 'L') i = sig.find(';', i);
    ++i;
    params.push_back(sig.substr(start, i - start));
  }
  ret = sig.substr(i + 1);
  return params;
}

// ---- classes -------------------------------------------------------------

std::string Class::simpleName() const {
  const auto slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool Class::isSubclassOf(const Class* other) const {
  if (this == other) return true;
  if (super != nullptr && super->isSubclassOf(other)) return true;
  for (const Class* i : interfaces) {
    if (i->isSubclassOf(other)) return true;
  }
  return false;
}

Method* Class::declared(const std::string& n, const std::string& s) {
  for (Method& m : methods) {
    if (m.name == n && m.sig == s) return &m;
  }
  return nullptr;
}

Method* Class::find(const std::string& n, const std::string& s) {
  if (Method* m = declared(n, s)) return m;
  if (n == "<init>") return nullptr;  // constructors are not inherited
  if (super != nullptr) {
    if (Method* m = super->find(n, s)) return m;
  }
  for (Class* i : interfaces) {
    if (Method* m = i->find(n, s)) return m;
  }
  return nullptr;
}

Field* Class::findField(const std::string& n, const std::string& s, bool isStatic) {
  for (Field& f : fields) {
    if (f.name == n && f.sig == s && f.isStatic == isStatic) return &f;
  }
  return super != nullptr ? super->findField(n, s, isStatic) : nullptr;
}

// ---- the record ----------------------------------------------------------

void Recorder::line(const std::string& text) {
  drainStdout();
  lines_.push_back(std::string(2 * static_cast<std::size_t>(vm_.nativeDepth()), ' ') + text);
}

void Recorder::raw(const std::string& text) {
  drainStdout();
  lines_.push_back(text);
}

void Recorder::appendToLast(const std::string& text) {
  if (!lines_.empty()) lines_.back() += text;
}

void Recorder::captureStdout(const std::string& captureFile) {
  capture_ = std::fopen(captureFile.c_str(), "rb");
}

void Recorder::drainStdout() {
  if (capture_ == nullptr) return;
  std::fflush(stdout);
  // A seek in place forgets the end of file seen by the last read: the
  // Windows C runtime would otherwise keep answering it for the descriptor.
  std::clearerr(capture_);
  std::fseek(capture_, 0, SEEK_CUR);
  std::string got;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, capture_)) > 0) got.append(buf, n);
  if (!got.empty()) {
    out_ += got;
    lines_.push_back(std::string(2 * static_cast<std::size_t>(vm_.nativeDepth()), ' ') + "stdout " + quote(got));
  }
}

bool Recorder::write(const std::string& path) {
  drainStdout();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  for (const std::string& l : lines_) {
    std::fputs(l.c_str(), f);
    std::fputc('\n', f);
  }
  return std::fclose(f) == 0;
}

void setRecordPath(Vm& vm, const std::string& path) { vm.recordPath_ = path; }

// ---- the VM --------------------------------------------------------------

struct Vm::EnvBox {
  JNIEnv env;
  Vm* vm;
};

Vm::Vm() : rec_(*this), box_(new EnvBox) {
  box_->env.functions = functionTable();
  box_->vm = this;
  frames_.emplace_back();  // the double's own frame, below every native
}

Vm::~Vm() {
  for (auto& o : objects_) {
    if (o->file != nullptr) std::fclose(o->file);
  }
}

JNIEnv* Vm::env() { return &box_->env; }

Vm& vmOf(JNIEnv* env) { return *reinterpret_cast<Vm::EnvBox*>(env)->vm; }

Class* Vm::defineClass(const std::string& name, Class* super, std::vector<Class*> interfaces, bool isInterface) {
  classes_.emplace_back();
  Class* c = &classes_.back();
  c->name = name;
  c->super = super;
  c->interfaces = std::move(interfaces);
  c->isInterface = isInterface;
  classByName_[name] = c;
  Class* classClass = classNamed("java/lang/Class");
  Object* mirror = alloc(classClass != nullptr ? classClass : c);
  mirror->classValue = c;
  c->mirror = mirror;
  return c;
}

Class* Vm::classNamed(const std::string& name) {
  auto it = classByName_.find(name);
  return it == classByName_.end() ? nullptr : it->second;
}

Method& Vm::method(Class* c, const std::string& name, const std::string& sig, Impl impl) {
  c->methods.push_back(Method{c, name, sig, false, std::move(impl), {}, {}});
  Method& m = c->methods.back();
  m.params = splitParams(sig, m.ret);
  return m;
}

Method& Vm::staticMethod(Class* c, const std::string& name, const std::string& sig, Impl impl) {
  Method& m = method(c, name, sig, std::move(impl));
  m.isStatic = true;
  return m;
}

void Vm::field(Class* c, const std::string& name, const std::string& sig) {
  c->fields.push_back(Field{c, name, sig, false});
}

void Vm::staticField(Class* c, const std::string& name, const std::string& sig, Value v) {
  c->fields.push_back(Field{c, name, sig, true});
  c->statics[name] = v;
}

Object* Vm::alloc(Class* c) {
  objects_.push_back(std::make_unique<Object>());
  objects_.back()->cls = c;
  return objects_.back().get();
}

Object* Vm::newString(const std::string& utf) {
  Object* s = alloc(classNamed("java/lang/String"));
  s->text = utf;
  return s;
}

Object* Vm::instantiate(const std::string& cls, const Args& args, const std::string& sig) {
  Class* c = classNamed(cls);
  if (c == nullptr) fatal("model has no class " + cls);
  Method* ctor = c->declared("<init>", sig);
  if (ctor == nullptr) fatal("model has no constructor " + cls + sig);
  Object* o = alloc(c);
  ctor->impl(o, args);
  return o;
}

Value Vm::call(Object* self, const std::string& name, const std::string& sig, const Args& args) {
  Method* m = self->cls->find(name, sig);
  if (m == nullptr) fatal("model has no method " + self->cls->name + "." + name + sig);
  return m->impl(self, args);
}

// The scenario's work folder shows as <work>, and the path behind it to the
// line's end with '/', so that records of both platforms compare.
static std::string showPaths(const Vm& vm, const std::string& s) {
  if (vm.workDir.empty()) return s;
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = s.find(vm.workDir); at != std::string::npos; at = s.find(vm.workDir, from)) {
    out.append(s, from, at - from).append("<work>");
    std::size_t end = s.find('\n', at);
    if (end == std::string::npos) end = s.size();
    for (std::size_t k = at + vm.workDir.size(); k < end; ++k) out += s[k] == vm.separator ? '/' : s[k];
    from = end;
  }
  return out.append(s, from, std::string::npos);
}

static std::string slashes(const Vm& vm, std::string s) {
  for (char& c : s) {
    if (c == vm.separator) c = '/';
  }
  return s;
}

std::string Vm::show(const std::string& text) const { return showPaths(*this, text); }

std::string Vm::describeObject(const Object* o) {
  if (o == nullptr) return "null";
  if (!o->label.empty()) return o->label;
  if (o->classValue != nullptr) return "class " + o->classValue->name;
  if (o->cls->name == "java/lang/String") {
    return quote(o->path ? slashes(*this, showPaths(*this, o->text)) : showPaths(*this, o->text));
  }
  if (o->cls->describe) return showPaths(*this, o->cls->describe(o));
  return o->cls->simpleName();
}

std::string Vm::describe(const Value& v, const std::string& type) {
  switch (type.empty() ? 'V' : type[0]) {
    case 'Z': return v.i != 0 ? "true" : "false";
    case 'C': {
      if (v.i >= 0x20 && v.i < 0x7f && v.i != '\'' && v.i != '\\') return std::string("'") + char(v.i) + "'";
      char buf[16];
      std::snprintf(buf, sizeof buf, "'\\u%04x'", static_cast<unsigned>(v.i));
      return buf;
    }
    case 'B': case 'S': case 'I': case 'J': return std::to_string(v.i);
    case 'F': case 'D': return std::to_string(v.d);
    case 'V': return "";
    default: return describeObject(v.o);
  }
}

Value Vm::raise(const std::string& cls, const std::string& message) {
  Class* c = classNamed(cls);
  if (c == nullptr) fatal("model has no exception class " + cls);
  Object* e = alloc(c);
  e->text = message;
  pending_ = e;
  return Value();
}

void Vm::fatal(const std::string& message) {
  rec_.raw("FATAL: " + message);
  if (!recordPath_.empty()) rec_.write(recordPath_);
  std::fprintf(stderr, "jnidouble: FATAL: %s\n", message.c_str());
  std::fflush(stderr);
  std::exit(2);
}

// ---- references and frames -----------------------------------------------

jobject Vm::ref(Object* o) {
  if (o == nullptr) return nullptr;
  refs_.push_back(Ref{o, static_cast<int>(frames_.size()) - 1, true});
  Frame& f = frames_.back();
  f.refs.push_back(&refs_.back());
  ++f.live;
  if (nativeDepth_ > 0 && f.live > f.capacity) {
    fatal("JNI local refs: " + std::to_string(f.live) + ", exceeds capacity: " + std::to_string(f.capacity));
  }
  return reinterpret_cast<jobject>(&refs_.back());
}

Object* Vm::deref(jobject r, const char* fn) {
  if (r == nullptr) return nullptr;
  Ref* ref = reinterpret_cast<Ref*>(r);
  bool ours = false;
  for (const Ref& x : refs_) {
    if (&x == ref) {
      ours = true;
      break;
    }
  }
  if (!ours) fatal(std::string(fn) + ": not a reference handed out by the JVM");
  if (!ref->live) fatal(std::string(fn) + ": use of a deleted or expired local reference to " + describeObject(ref->obj));
  return ref->obj;
}

void Vm::deleteRef(jobject r, const char* fn) {
  if (r == nullptr) return;
  deref(r, fn);  // checks that it is live
  Ref* ref = reinterpret_cast<Ref*>(r);
  ref->live = false;
  --frames_[static_cast<std::size_t>(ref->frame)].live;
}

void Vm::pushFrame(int capacity) {
  frames_.emplace_back();
  frames_.back().capacity = capacity;
}

void Vm::popFrame() {
  const int index = static_cast<int>(frames_.size()) - 1;
  for (Ref* r : frames_.back().refs) r->live = false;
  frames_.pop_back();
  for (const Utf& u : utf_) {
    if (u.frame == index) fatal("GetStringUTFChars of " + describeObject(u.str) + " not released");
  }
}

void Vm::enter(const char* fn, bool exceptionAllowed) {
  if (nativeDepth_ == 0) fatal(std::string(fn) + " called outside a native method");
  if (exceptionAllowed) return;
  if (pending_ != nullptr) {
    fatal(std::string(fn) + " called with an exception pending (" + pending_->cls->name + ")");
  }
  if (!uncheckedCall_.empty()) {
    fatal(std::string(fn) + " called after " + uncheckedCall_ + " without checking for an exception");
  }
}

// ---- calls from the natives ----------------------------------------------

Method* Vm::methodOf(jmethodID m, const char* fn) {
  if (m == nullptr) fatal(std::string(fn) + ": null method ID");
  return reinterpret_cast<Method*>(m);
}

Field* Vm::fieldOf(jfieldID f, const char* fn) {
  if (f == nullptr) fatal(std::string(fn) + ": null field ID");
  return reinterpret_cast<Field*>(f);
}

Args Vm::readArgs(jmethodID mid, std::va_list ap) {
  Method* m = methodOf(mid, "call");
  Args out;
  for (const std::string& p : m->params) {
    Value v;
    switch (p[0]) {
      case 'Z': case 'B': case 'C': case 'S': case 'I': v.i = va_arg(ap, int); break;
      case 'J': v.i = va_arg(ap, jlong); break;
      case 'F': case 'D': v.d = va_arg(ap, double); break;
      default: v.o = deref(va_arg(ap, jobject), m->name.c_str()); break;
    }
    if (p[0] == 'Z') v.i = static_cast<jboolean>(v.i);
    if (p[0] == 'C') v.i = static_cast<jchar>(v.i);
    if (p[0] == 'B') v.i = static_cast<jbyte>(v.i);
    if (p[0] == 'S') v.i = static_cast<jshort>(v.i);
    out.push_back(v);
  }
  return out;
}

Args Vm::readArgs(jmethodID mid, const jvalue* args) {
  Method* m = methodOf(mid, "call");
  Args out;
  for (std::size_t k = 0; k < m->params.size(); ++k) {
    const jvalue& a = args[k];
    Value v;
    switch (m->params[k][0]) {
      case 'Z': v.i = a.z; break;
      case 'B': v.i = a.b; break;
      case 'C': v.i = a.c; break;
      case 'S': v.i = a.s; break;
      case 'I': v.i = a.i; break;
      case 'J': v.i = a.j; break;
      case 'F': v.d = a.f; break;
      case 'D': v.d = a.d; break;
      default: v.o = deref(a.l, m->name.c_str()); break;
    }
    out.push_back(v);
  }
  return out;
}

static char kindOf(const std::string& type) {
  if (type.empty()) return 'V';
  return type[0] == '[' ? 'L' : type[0];
}

Value Vm::invoke(const char* fn, Dispatch how, jobject target, jclass cls, jmethodID mid, const Args& args,
                 char expectRet) {
  Method* m = methodOf(mid, fn);
  if (kindOf(m->ret) != expectRet) {
    fatal(std::string(fn) + " used for " + m->owner->simpleName() + "." + m->name + m->sig);
  }
  Object* self = nullptr;
  Method* run = m;
  std::string who;
  if (how == Dispatch::Static) {
    Object* c = deref(cls, fn);
    if (c == nullptr || c->classValue == nullptr) fatal(std::string(fn) + ": not a class");
    if (!m->isStatic) fatal(std::string(fn) + " used for the instance method " + m->name);
    if (!c->classValue->isSubclassOf(m->owner)) fatal(std::string(fn) + ": method not of " + c->classValue->name);
    who = c->classValue->simpleName();
  } else {
    if (m->isStatic) fatal(std::string(fn) + " used for the static method " + m->name);
    self = deref(target, fn);
    if (self == nullptr) fatal(std::string(fn) + " on a null object: " + m->owner->simpleName() + "." + m->name);
    if (!self->cls->isSubclassOf(m->owner)) {
      fatal(std::string(fn) + ": " + self->cls->name + " has no " + m->owner->simpleName() + "." + m->name + m->sig);
    }
    if (how == Dispatch::Virtual) {
      run = self->cls->find(m->name, m->sig);
    } else {
      Object* c = deref(cls, fn);
      if (c == nullptr || c->classValue == nullptr) fatal(std::string(fn) + ": not a class");
      if (!self->cls->isSubclassOf(c->classValue)) fatal(std::string(fn) + ": object is not a " + c->classValue->name);
      run = c->classValue->find(m->name, m->sig);
    }
    if (run == nullptr) fatal(std::string(fn) + ": no implementation of " + m->name + m->sig);
    who = self->cls->simpleName();
  }

  std::string text = who + "." + m->name + "(";
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (k > 0) text += ", ";
    text += describe(args[k], m->params[k]);
  }
  text += ")";
  if (how == Dispatch::Nonvirtual) text += " [nonvirtual " + run->owner->simpleName() + "]";
  rec_.line(text);
  const std::size_t at = rec_.lines().size();
  Value result = run->impl(self, args);
  if (pending_ != nullptr) {
    rec_.line("  throws " + pending_->cls->name + ": " + show(pending_->text));
    result = Value();
  } else if (kindOf(m->ret) != 'V') {
    if (rec_.lines().size() == at) {
      // Nothing in between: the result joins its call's line.
      rec_.appendToLast(" -> " + describe(result, m->ret));
    } else {
      rec_.line("  -> " + describe(result, m->ret) + " (" + who + "." + m->name + ")");
    }
  }
  markCallMade(fn);
  return result;
}

Value Vm::newObject(const char* fn, jclass cls, jmethodID mid, const Args& args) {
  Method* m = methodOf(mid, fn);
  Object* c = deref(cls, fn);
  if (c == nullptr || c->classValue == nullptr) fatal(std::string(fn) + ": not a class");
  if (m->name != "<init>" || m->owner != c->classValue) {
    fatal(std::string(fn) + ": " + m->owner->simpleName() + "." + m->name + " is not a constructor of " +
          c->classValue->name);
  }
  std::string text = "new " + c->classValue->simpleName() + "(";
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (k > 0) text += ", ";
    text += describe(args[k], m->params[k]);
  }
  rec_.line(text + ")");
  Object* o = alloc(c->classValue);
  m->impl(o, args);
  if (pending_ != nullptr) {
    rec_.line("  throws " + pending_->cls->name + ": " + show(pending_->text));
    return Value();
  }
  return Value::obj(o);
}

Value Vm::getField(const char* fn, jobject obj, jfieldID fid, char type, bool isStatic) {
  Field* f = fieldOf(fid, fn);
  if (f->isStatic != isStatic) fatal(std::string(fn) + " used for the field " + f->name);
  if (kindOf(f->sig) != type) fatal(std::string(fn) + " used for the field " + f->name + " " + f->sig);
  Value v;
  std::string who;
  if (f->isStatic) {
    Object* c = deref(reinterpret_cast<jobject>(obj), fn);
    if (c == nullptr || c->classValue == nullptr) fatal(std::string(fn) + ": not a class");
    if (!c->classValue->isSubclassOf(f->owner)) fatal(std::string(fn) + ": field not of " + c->classValue->name);
    v = f->owner->statics[f->name];
    who = c->classValue->simpleName();
  } else {
    Object* o = deref(obj, fn);
    if (o == nullptr) fatal(std::string(fn) + " on a null object: " + f->name);
    if (!o->cls->isSubclassOf(f->owner)) fatal(std::string(fn) + ": " + o->cls->name + " has no field " + f->name);
    v = o->fields[f->name];
    who = o->cls->simpleName();
  }
  // The separator's value differs by design; the record's head shows it.
  const bool separator = f->owner->name == "java/io/File" && f->name == "separatorChar";
  rec_.line("get " + who + "." + f->name + " -> " + (separator ? "the platform's separator" : describe(v, f->sig)));
  return v;
}

void Vm::setField(const char* fn, jobject obj, jfieldID fid, char type, bool isStatic, Value v) {
  Field* f = fieldOf(fid, fn);
  if (f->isStatic != isStatic) fatal(std::string(fn) + " used for the field " + f->name);
  if (kindOf(f->sig) != type) fatal(std::string(fn) + " used for the field " + f->name + " " + f->sig);
  if (type == 'L' && v.o != nullptr) {
    // The value must fit the field's declared class.
    const std::string want = f->sig[0] == 'L' ? f->sig.substr(1, f->sig.size() - 2) : "";
    Class* c = classNamed(want);
    if (c != nullptr && !v.o->cls->isSubclassOf(c)) {
      fatal(std::string(fn) + ": " + v.o->cls->name + " stored in the field " + f->name + " " + f->sig);
    }
  }
  std::string who;
  if (f->isStatic) {
    Object* c = deref(reinterpret_cast<jobject>(obj), fn);
    if (c == nullptr || c->classValue == nullptr) fatal(std::string(fn) + ": not a class");
    f->owner->statics[f->name] = v;
    who = c->classValue->simpleName();
  } else {
    Object* o = deref(obj, fn);
    if (o == nullptr) fatal(std::string(fn) + " on a null object: " + f->name);
    if (!o->cls->isSubclassOf(f->owner)) fatal(std::string(fn) + ": " + o->cls->name + " has no field " + f->name);
    o->fields[f->name] = v;
    who = o->cls->simpleName();
  }
  rec_.line("set " + who + "." + f->name + " = " + describe(v, f->sig));
}

const char* Vm::utfChars(Object* s) {
  Utf u{s, static_cast<int>(frames_.size()) - 1, std::unique_ptr<char[]>(new char[s->text.size() + 1])};
  std::memcpy(u.chars.get(), s->text.c_str(), s->text.size() + 1);
  utf_.push_back(std::move(u));
  return utf_.back().chars.get();
}

void Vm::releaseUtfChars(Object* s, const char* chars) {
  for (auto it = utf_.begin(); it != utf_.end(); ++it) {
    if (it->chars.get() == chars) {
      if (it->str != s) fatal("ReleaseStringUTFChars: characters released with another string");
      if (std::strcmp(chars, s->text.c_str()) != 0) fatal("ReleaseStringUTFChars: characters were written to");
      utf_.erase(it);
      return;
    }
  }
  fatal("ReleaseStringUTFChars of characters not obtained from GetStringUTFChars, or released twice");
}

}  // namespace jd
