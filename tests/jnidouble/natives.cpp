// Loading the library under test and calling its natives the way the
// platform's JVM does: plain names through dlopen/dlsym on Linux, decorated
// __stdcall names through LoadLibrary/GetProcAddress on Windows.
#include "jnidouble.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace jd {

std::string Native::symbol() const {
  const std::string plain = "Java_" + cls + "_" + method;
#ifdef _WIN32
  return "_" + plain + "@" + std::to_string(argBytes);
#else
  return plain;
#endif
}

bool Library::open(const std::string& path, std::string& error) {
#ifdef _WIN32
  HMODULE h = LoadLibraryA(path.c_str());
  if (h == nullptr) {
    error = "LoadLibrary(" + path + ") failed with error " + std::to_string(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<void*>(h);
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* e = dlerror();
    error = e != nullptr ? e : ("dlopen(" + path + ") failed");
    return false;
  }
#endif
  return true;
}

bool Library::bind(Native& n) {
#ifdef _WIN32
  n.fn = reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), n.symbol().c_str()));
#else
  n.fn = dlsym(handle_, n.symbol().c_str());
#endif
  return n.fn != nullptr;
}

#if defined(_WIN32) && defined(__i386__)

// x7jd_stdcall(fn, args, count, check): pushes count 32-bit arguments (the
// first one last, so it lands on top), calls fn and returns its EAX. check[0]
// gets the bytes the callee left on the stack (0 for __stdcall), check[1] is
// 1 when the callee changed EBX, ESI or EDI.
extern "C" std::uint32_t x7jd_stdcall(void* fn, const std::uint32_t* args, int count, int* check);
__asm__(
    ".text\n"
    ".globl _x7jd_stdcall\n"
    "_x7jd_stdcall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"          // stack pointer before the arguments: ebp-12
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl 8(%ebp), %eax\n"
    "  movl $0x5a5a1111, %ebx\n"
    "  movl $0x5a5a2222, %esi\n"
    "  movl $0x5a5a3333, %edi\n"
    "  call *%eax\n"
    "  xorl %ecx, %ecx\n"
    "  cmpl $0x5a5a1111, %ebx\n"
    "  jne 3f\n"
    "  cmpl $0x5a5a2222, %esi\n"
    "  jne 3f\n"
    "  cmpl $0x5a5a3333, %edi\n"
    "  je 4f\n"
    "3:\n"
    "  movl $1, %ecx\n"
    "4:\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %ecx, 4(%edx)\n"
    "  leal -12(%ebp), %ecx\n"
    "  subl %esp, %ecx\n"
    "  movl %ecx, (%edx)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

std::intptr_t invokeNative(Vm& vm, const Native& n, const std::vector<jobject>& args) {
  std::vector<std::uint32_t> words;
  words.push_back(reinterpret_cast<std::uint32_t>(vm.env()));
  for (jobject a : args) words.push_back(reinterpret_cast<std::uint32_t>(a));
  if (static_cast<int>(words.size()) * 4 != n.argBytes) {
    vm.fatal(n.symbol() + ": the scenario passes " + std::to_string(words.size() * 4) + " argument bytes");
  }
  int check[2] = {0, 0};
  const std::uint32_t eax = x7jd_stdcall(n.fn, words.data(), static_cast<int>(words.size()), check);
  if (check[0] != 0) {
    vm.fatal(n.symbol() + " left " + std::to_string(check[0]) + " argument bytes on the stack: not __stdcall");
  }
  if (check[1] != 0) vm.fatal(n.symbol() + " did not preserve EBX, ESI or EDI");
  return static_cast<std::intptr_t>(eax);
}

#else

namespace {

template <class R>
R callTyped(void* fn, JNIEnv* e, const std::vector<jobject>& a) {
  switch (a.size()) {
    case 1: return reinterpret_cast<R(JNICALL*)(JNIEnv*, jobject)>(fn)(e, a[0]);
    case 2: return reinterpret_cast<R(JNICALL*)(JNIEnv*, jobject, jobject)>(fn)(e, a[0], a[1]);
    case 3: return reinterpret_cast<R(JNICALL*)(JNIEnv*, jobject, jobject, jobject)>(fn)(e, a[0], a[1], a[2]);
    default:
      return reinterpret_cast<R(JNICALL*)(JNIEnv*, jobject, jobject, jobject, jobject)>(fn)(e, a[0], a[1], a[2],
                                                                                           a[3]);
  }
}

}  // namespace

std::intptr_t invokeNative(Vm& vm, const Native& n, const std::vector<jobject>& args) {
  if (args.empty() || args.size() > 4) vm.fatal(n.symbol() + ": unexpected argument count");
  switch (n.ret) {
    case 'V': callTyped<void>(n.fn, vm.env(), args); return 0;
    case 'I': return callTyped<jint>(n.fn, vm.env(), args);
    default: return reinterpret_cast<std::intptr_t>(callTyped<jobject>(n.fn, vm.env(), args));
  }
}

#endif

Value Vm::callNative(const Native& n, Object* receiver, const Args& args) {
  if (n.fn == nullptr) fatal(n.symbol() + " is not bound");
  std::string text = "call " + n.cls + "." + n.method + "(";
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (k > 0) text += ", ";
    text += describeObject(args[k].o);
  }
  rec_.line(text + ")");
  ++nativeDepth_;
  pushFrame(32);
  uncheckedCall_.clear();
  std::vector<jobject> refs;
  refs.push_back(ref(receiver));
  for (const Value& a : args) refs.push_back(ref(a.o));

  const std::intptr_t raw = invokeNative(*this, n, refs);

  Value result;
  if (n.ret == 'I') result.i = static_cast<jint>(raw);
  // The result reference is read while the native's frame still holds it.
  if (n.ret == 'L') result.o = deref(reinterpret_cast<jobject>(raw), n.method.c_str());
  popFrame();
  uncheckedCall_.clear();
  --nativeDepth_;
  if (n.ret == 'I') rec_.line("return " + std::to_string(result.i));
  if (n.ret == 'L') rec_.line("return " + describeObject(result.o));
  if (pending_ != nullptr) {
    rec_.line("exception pending after " + n.method + ": " + pending_->cls->name + ": " + show(pending_->text));
  }
  return result;
}

}  // namespace jd
