// Scenarios that drive the natives through the double, one per process:
//
//   jnidouble LIBRARY SCENARIO OUTDIR   writes OUTDIR/SCENARIO.record
//   jnidouble --list                    names the scenarios
//   jnidouble --selftest ...            the double's own checks (selftest.cpp)
//
// Exit status: 0 every check held, 1 a check failed or a native the scenario
// needs is not in the library (a library without its exports is broken, not
// a platform's choice), 2 the double caught a misuse of JNI (the record ends
// with FATAL). No scenario is skipped: what differs by platform is asserted
// in the blocks below.
//
// The records of the Linux and the Windows build must be the same, except in
// the blocks between ">>> platform-specific" and "<<< platform-specific",
// where the scenario asserts each platform's own outcome: the caret repair
// and backslash paths exist only where File.separatorChar is a backslash.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "disk.h"
#include "host.h"
#include "jnidouble.h"

namespace jd {
namespace {

class Ctx {
 public:
  Ctx(Vm& v, Host& host) : vm(v), h(host) {}
  Vm& vm;
  Host& h;
  int failures = 0;

  void check(bool ok, const std::string& what) {
    vm.rec().raw((ok ? "ok: " : "FAIL: ") + what);
    if (!ok) ++failures;
  }
  void eq(const std::string& got, const std::string& want, const std::string& what) {
    if (got == want) {
      vm.rec().raw("ok: " + what + " = " + quote(vm.show(want)));
    } else {
      vm.rec().raw("FAIL: " + what + ": got " + quote(vm.show(got)) + ", want " + quote(vm.show(want)));
      ++failures;
    }
  }
  void eq(std::int64_t got, std::int64_t want, const std::string& what) {
    if (got == want) {
      vm.rec().raw("ok: " + what + " = " + std::to_string(want));
    } else {
      vm.rec().raw("FAIL: " + what + ": got " + std::to_string(got) + ", want " + std::to_string(want));
      ++failures;
    }
  }
  void note(const std::string& text) { vm.rec().raw("-- " + text); }

  // A block whose content differs between the platforms by design.
  void beginPlatform(const std::string& why) { vm.rec().raw(">>> platform-specific: " + why); }
  void endPlatform() { vm.rec().raw("<<< platform-specific"); }
  bool windowsSeparator() const { return vm.separator == '\\'; }

  // A native called by the host; an exception it leaves pending fails the
  // scenario and is cleared, as the host would catch it.
  Value call(const Native& n, Object* receiver, const Args& args) {
    const Value r = vm.callNative(n, receiver, args);
    if (vm.pending() != nullptr) {
      check(false, n.method + " left no exception pending");
      vm.setPending(nullptr);
    }
    return r;
  }

  std::string work(const std::string& rel) { return vm.workDir + vm.separator + h.platform(rel); }
  std::string out() { return vm.rec().out(); }

  // The files of the work folder. A time the natives did not set is the
  // time of the run, shown as "now".
  void listDisk() {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
    vm.rec().raw("disk:");
    for (const disk::Entry& e : disk::list(vm.workDir, vm.separator)) {
      if (e.dir) {
        vm.rec().raw("  " + e.path + "/");
      } else {
        const bool recent = e.mtime > now - 86400000 && e.mtime < now + 86400000;
        vm.rec().raw("  " + e.path + " " + std::to_string(e.size) + " bytes, mtime " +
                     (recent ? std::string("now") : std::to_string(e.mtime)));
      }
    }
  }
};

Args objs(std::initializer_list<Object*> os) {
  Args a;
  for (Object* o : os) a.push_back(Value::obj(o));
  return a;
}

std::string body(std::size_t n) {
  std::string b;
  for (std::size_t i = 0; i < n; ++i) b += static_cast<char>((i * 7 + 3) % 256);
  return b;
}

std::string fileText(const std::string& path) {
  std::string s;
  disk::readFile(path, s);
  return s;
}

constexpr std::int64_t kServerTime = 1234567890000;  // Fri, 13 Feb 2009 23:31:30 GMT

// A node whose body is to be saved under name, answered with code.
Object* savedNode(Ctx& c, const std::string& url, const std::string& name, int code) {
  Object* n = c.h.node(0, -1, c.h.url(url), nullptr);
  Host::state(n, "loadedFilename") = Value::obj(c.h.pathStr(name));
  Host::state(n, "responseCode") = Value::of(code);
  Host::state(n, "lastModified") = Value::of(kServerTime);
  return n;
}

// ---- transfer --------------------------------------------------------------

void transfer250(Ctx& c) {
  Object* crawler = c.h.crawler();
  Host::field(crawler, "nfiles") = Value::of(3);
  Host::field(crawler, "totalReadLength") = Value::of(5000000000LL);
  const std::string name = c.work("site/page.htm");
  Object* node = savedNode(c, "http://example.test/site/page.htm", name, 200);
  const std::string b = body(250);
  Object* conn = c.h.connection(Host::state(node, "url").o, c.h.stream(b));
  c.call(c.h.jiplok, crawler, objs({node, conn, c.h.file(name)}));

  c.check(fileText(name) == b, "the file holds the 250 bytes of the body");
  c.eq(Host::field(node, "readLength").i, 250, "readLength");
  c.eq(Host::field(crawler, "nfiles").i, 4, "nfiles");
  c.eq(Host::field(crawler, "totalReadLength").i, 5000000250LL, "totalReadLength, 64-bit");
  c.eq(node->text, "setDownloaded", "state calls");
  c.eq(disk::mtime(name), kServerTime, "the file's time is the server time");
  c.check(!disk::exists(name + ".INCOMPLETE"), "no incomplete marker");
  c.eq(c.out(), "", "nothing printed");
  c.listDisk();
}

void transferStop(Ctx& c) {
  Object* crawler = c.h.crawler();
  const std::string name = c.work("site/page.htm");
  Object* node = savedNode(c, "http://example.test/site/page.htm", name, 200);
  const std::string b = body(1000);
  Object* in = c.h.stream(b);
  // Another thread stops the crawl while the second chunk is read.
  Host::state(in, "abortAtRead") = Value::of(1);
  Host::state(in, "crawler") = Value::obj(crawler);
  c.call(c.h.jiplok, crawler, objs({node, c.h.connection(Host::state(node, "url").o, in), c.h.file(name)}));

  c.check(fileText(name) == b.substr(0, 200), "the file holds the two chunks written before the stop");
  c.eq(Host::field(node, "readLength").i, 200, "readLength");
  c.eq(Host::field(crawler, "nfiles").i, 1, "nfiles");
  c.eq(node->text, "setStopped setDownloaded", "state calls");
  c.eq(disk::mtime(name), kServerTime, "the file's time is the server time");
  c.check(disk::exists(name + ".INCOMPLETE"), "the incomplete marker is there");
  c.eq(disk::mtime(name + ".INCOMPLETE"), kServerTime, "the marker's time is the server time");
  c.listDisk();
}

void transferReadError(Ctx& c) {
  Object* crawler = c.h.crawler();
  const std::string name = c.work("site/part.bin");
  disk::makeDir(c.work("site"));
  disk::writeFile(name, "HEAD");
  Object* node = savedNode(c, "http://example.test/site/part.bin", name, 206);
  const std::string b = body(500);
  Object* in = c.h.stream(b);
  Host::state(in, "failAtRead") = Value::of(2);
  c.call(c.h.jiplok, crawler, objs({node, c.h.connection(Host::state(node, "url").o, in), c.h.file(name)}));

  c.check(fileText(name) == "HEAD" + b.substr(0, 200), "206: two chunks appended behind the old content");
  c.eq(c.out(), "IOException occured in InputStream.read(..).\n", "diagnostic");
  c.eq(crawler->text, "Error reading url:http://example.test/site/part.bin\n", "log");
  c.eq(node->text, "setReadWriteError setDownloaded", "state calls");
  c.eq(Host::field(node, "readLength").i, 200, "readLength");
  c.check(disk::exists(name + ".INCOMPLETE"), "the incomplete marker is there");
  c.listDisk();
}

void transferCreateError(Ctx& c) {
  Object* crawler = c.h.crawler();
  const std::string name = c.work("site/page.htm");
  disk::makeDir(c.work("site"));
  disk::makeDir(name);  // a folder where the file should go
  Object* node = savedNode(c, "http://example.test/site/page.htm", name, 200);
  Object* conn = c.h.connection(Host::state(node, "url").o, c.h.stream(body(10)));
  c.call(c.h.jiplok, crawler, objs({node, conn, c.h.file(name)}));

  c.eq(c.out(), "FileNotFoundException occured in new FileOutputStream(..).\n", "diagnostic");
  c.eq(crawler->text, "Error creating file:" + name + "\n", "log names the loaded file");
  c.eq(node->text, "setCreateError", "state calls");
  c.listDisk();
}

// ---- triage ----------------------------------------------------------------

void triageRange(Ctx& c) {
  Object* crawler = c.h.crawler();
  Host::field(crawler, "urlIndex") = Value::of(7);
  // 3000000000 bytes is past 32 bits: a printf that takes %lld or %I64d
  // wrongly shows it here. The file is sparse.
  for (const std::int64_t length : {0LL, 1024LL, 3000000000LL}) {
    const std::string len = std::to_string(length);
    const std::string name = c.work("part" + len + ".bin");
    if (!disk::resize(name, length)) c.check(false, "made a local file of " + len + " bytes");
    disk::createNew(name + ".INCOMPLETE");
    Object* node = savedNode(c, "http://example.test/part" + len + ".bin", name, 304);
    const std::string before = c.out();
    const std::int64_t index = Host::field(crawler, "urlIndex").i;
    const Value r = c.call(c.h.chiap, crawler, objs({node, c.h.connection(nullptr, nullptr), c.h.file(name)}));
    c.eq(r.i, 1, "304 with a marker, " + len + " bytes: result");
    c.eq(c.h.stringField(crawler, "range"), "bytes=" + len + "-", "range");
    c.eq(c.out().substr(before.size()), "contructed range field:bytes=" + len + "-\n", "diagnostic");
    c.eq(Host::field(crawler, "urlIndex").i, index - 1, "urlIndex stepped back");
    c.check(!disk::exists(name + ".INCOMPLETE"), "the marker is deleted");
    c.eq(node->text, "", "no state call");
  }

  const std::string name = c.work("whole.bin");
  disk::writeFile(name, "whole");
  Object* node = savedNode(c, "http://example.test/whole.bin", name, 304);
  Host::field(crawler, "range") = Value::obj(c.h.str(""));
  const Value r = c.call(c.h.chiap, crawler, objs({node, c.h.connection(nullptr, nullptr), c.h.file(name)}));
  c.eq(r.i, 0, "304 without a marker: result");
  c.eq(node->text, "setPreviouslyDownloaded", "state calls");
  c.eq(c.h.stringField(crawler, "range"), "", "range untouched");
  c.listDisk();
}

void triage404(Ctx& c) {
  Object* crawler = c.h.crawler();
  const std::string name = c.work("missing.htm");
  struct Case {
    const char* url;
    const char* repaired;  // null: given up
  };
  const Case common[] = {
      {"http://example.test/dir/x7fenwix.htm", "http://example.test/dir/"},
      {"http://example.test/a\\b/x7fenwix.htm", "http://example.test/a/b/"},
      {"http://example.test/plain.htm", nullptr},
  };
  auto run = [&](const std::string& url) {
    Host::field(crawler, "urlIndex") = Value::of(4);
    Object* node = savedNode(c, url, name, 404);
    const Value r = c.call(c.h.chiap, crawler, objs({node, c.h.connection(nullptr, nullptr), c.h.file(name)}));
    return std::make_pair(node, r.i);
  };
  for (const Case& k : common) {
    const auto [node, r] = run(k.url);
    if (k.repaired != nullptr) {
      c.eq(r, 1, std::string("404 for ") + k.url + ": result");
      c.eq(Host::state(node, "url").o->text, k.repaired, "the node's repaired URL");
      c.eq(Host::field(crawler, "urlIndex").i, 3, "urlIndex stepped back");
    } else {
      c.eq(r, 0, std::string("404 for ") + k.url + ": result");
      c.eq(node->text, "setNotFound", "state calls");
    }
  }

  c.beginPlatform("a caret stands for '?' only where the separator is a backslash");
  const auto [node, r] = run("http://example.test/page.asp^id=3");
  if (c.windowsSeparator()) {
    c.eq(r, 1, "404 for page.asp^id=3: result");
    c.eq(Host::state(node, "url").o->text, "http://example.test/page.asp?id=3", "the caret became a question mark");
    c.eq(Host::field(crawler, "urlIndex").i, 3, "urlIndex stepped back");
  } else {
    c.eq(r, 0, "404 for page.asp^id=3: result");
    c.eq(node->text, "setNotFound", "state calls");
    c.eq(Host::state(node, "url").o->text, "http://example.test/page.asp^id=3", "the URL is kept");
  }
  c.endPlatform();
}

// ---- link rewriting ----------------------------------------------------------

// Rewrites <img src="target"> in the page saved as parentName, whose target
// is saved as targetName; answers the element's tag text afterwards.
std::string rewrite(Ctx& c, const std::string& parentName, const std::string& targetName, bool& modified) {
  Object* parent = c.h.node(0, -1, c.h.url("http://example.test/page.htm"), nullptr);
  Host::state(parent, "loadedFilename") = Value::obj(c.h.pathStr(parentName));
  Object* target = c.h.node(0, 0, c.h.url("http://example.test/a.gif"), nullptr);
  Host::state(target, "loadedFilename") = Value::obj(c.h.pathStr(targetName));
  Host::state(target, "previouslyDownloaded") = Value::of(1);
  Object* upd = c.h.updParent(parent);
  upd->fields[".match:target"] = Value::obj(target);
  Object* element = c.h.element("<img src=\"target\">");
  c.call(c.h.repAttrib, upd, objs({element, c.h.str("img")}));
  modified = Host::field(upd, "isModified").i != 0;
  return element->text;
}

void rewritePaths(Ctx& c) {
  struct Case {
    const char* parent;
    const char* target;
    const char* value;
  };
  // Written with '/', handed over with the platform's separator: the result
  // is the same on both platforms.
  const Case cases[] = {
      {"/m/site/dir/page.htm", "/m/site/img/a.gif", "../img/a.gif"},
      {"/m/site/page.htm", "/m/site/img/a.gif", "img/a.gif"},
      {"/m/site/dir/page.htm", "/m/site/dir/b.htm", "b.htm"},
      {"/m/site/d1/d2/page.htm", "/m/site/a.gif", "../../a.gif"},
      {"/m/site/dir10/page.htm", "/m/site/dir1/a.gif", "../dir1/a.gif"},
      {"C:/m/site/dir/page.htm", "C:/m/site/img/a.gif", "../img/a.gif"},
      {"C:/a/page.htm", "D:/b/a.gif", "../../D:/b/a.gif"},
  };
  for (const Case& k : cases) {
    bool modified = false;
    const std::string tag = rewrite(c, c.h.platform(k.parent), c.h.platform(k.target), modified);
    c.eq(tag, std::string("<img src=\"") + k.value + "\">", std::string(k.parent) + " -> " + k.target);
    c.check(modified, "isModified set");
  }

  c.beginPlatform("backslash paths are paths only where the separator is a backslash");
  const Case literal[] = {
      {"C:\\m\\site\\dir\\page.htm", "C:\\m\\site\\img\\a.gif", "../img/a.gif"},
      {"C:\\a\\page.htm", "D:\\b\\a.gif", "../../D:/b/a.gif"},
  };
  for (const Case& k : literal) {
    bool modified = false;
    const std::string tag = rewrite(c, k.parent, k.target, modified);
    // Elsewhere a backslash is an ordinary character: no separator, no
    // common folder, no climb; the target's name is taken whole.
    const std::string want = c.windowsSeparator() ? k.value : k.target;
    c.eq(tag, "<img src=\"" + want + "\">", std::string(k.parent) + " -> " + k.target);
  }
  c.endPlatform();
}

// ---- tag reader --------------------------------------------------------------

std::string dumpTree(Object* e, const std::string& indent, std::vector<std::string>& lines) {
  const Object* data = e->fields["data"].o;
  const auto& kids = e->fields["children"].o->items;
  lines.push_back(indent + quote(e->text) + " data=" + quote(data->text) + " children=" + std::to_string(kids.size()));
  for (Object* k : kids) dumpTree(k, indent + "  ", lines);
  return data->text;
}

Object* child(Object* e, std::size_t i) {
  const auto& kids = e->fields["children"].o->items;
  return i < kids.size() ? kids[i] : nullptr;
}

std::string dataOf(Object* e) { return e != nullptr ? e->fields["data"].o->text : std::string("<no element>"); }

void tagReader(Ctx& c) {
  const std::string page = "<html><head><title>T</title></head><body>Hi <img src=x.gif> <p>there</body></html>";
  Object* root = c.h.element("");
  Object* reader = c.h.reader(page);
  c.note("host: root.findChild(reader)");
  c.vm.call(root, "findChild", "(Ljava/io/InputStreamReader;)V", objs({reader}));
  if (c.vm.pending() != nullptr) {
    c.check(false, "findChild left no exception pending");
    c.vm.setPending(nullptr);
  }
  std::vector<std::string> tree;
  dumpTree(root, "  ", tree);
  c.vm.rec().raw("tree:");
  for (const std::string& l : tree) c.vm.rec().raw(l);

  Object* html = child(root, 0);
  Object* head = child(html, 0);
  Object* body = child(html, 1);
  c.eq(dataOf(root), "<x7Element>", "root data");
  c.eq(dataOf(html), "<x7Element><x7Element></html>", "html data");
  c.eq(dataOf(head), "<x7Element></head>", "head data");
  c.eq(dataOf(child(head, 0)), "T</title>", "title data");
  c.eq(dataOf(body), "Hi <x7Element> <p>there</body>", "body data");
  c.eq(child(body, 0) != nullptr ? child(body, 0)->text : "", "<img src=x.gif>", "body's child");
  c.eq(dataOf(child(body, 0)), "", "img data");
  c.eq(static_cast<std::int64_t>(reader->pos), static_cast<std::int64_t>(page.size()), "the whole page is read");

  // A long run of text (one host call and one reference per character, more
  // than a frame holds at once), a NUL and a char past ASCII, names in
  // capitals, and an end tag that closes nothing.
  const std::string page2 = std::string("x") + '\0' + "y" + std::string(60, 'z') +
                            "<IMG SRC=a.gif><Img src=b.gif>\xe9</p>";
  Object* root2 = c.h.element("");
  c.note("host: root.findChild(reader)");
  c.vm.call(root2, "findChild", "(Ljava/io/InputStreamReader;)V", objs({c.h.reader(page2)}));
  c.eq(dataOf(root2), std::string("x\xc0\x80y") + std::string(60, 'z') + "<x7Element><x7Element>\xc3\xa9</p>",
       "second page: root data");
  c.eq(child(root2, 1) != nullptr ? child(root2, 1)->text : "", "<Img src=b.gif>", "second page: second child");
}

// ---- link discovery ----------------------------------------------------------

std::string nodeText(Object* n) {
  Object* link = Host::state(n, "linkText").o;
  return "level " + std::to_string(Host::state(n, "level").i) + ", parent " +
         std::to_string(Host::state(n, "parentIndex").i) + ", " + Host::state(n, "url").o->text + ", " +
         (link != nullptr ? quote(link->text) : "null");
}

void linkDiscovery(Ctx& c) {
  Object* crawler = c.h.crawler();
  Object* inHand = c.h.node(2, 1, c.h.url("http://example.test/site/dir/page.htm"), nullptr);
  Host::state(inHand, "previouslyDownloaded") = Value::of(1);
  Host::field(crawler, "lURL") = Value::obj(inHand);
  Host::field(crawler, "baseURL") = Value::obj(c.h.url("http://example.test/site/dir/page.htm"));
  Host::field(crawler, "baseFileSlashCount") = Value::of(2);
  Host::field(crawler, "urlIndex") = Value::of(5);
  Object* list = Host::field(crawler, "urlToLoad").o;

  struct Case {
    const char* tag;
    const char* name;
    const char* node;  // null: none is added
  };
  const Case saved[] = {
      // The climb reaches the count: rebuilt behind the base's protocol,
      // the space before the first '/' standing for the port's colon.
      {"<a href=\"../../site 8080/dir/p.htm\">", "a", "level 3, parent 5, http://site:8080/dir/p.htm, \"../../site 8080/dir/p.htm\""},
      // One step short of it: resolved against the base with its step.
      {"<img src='../q.htm'>", "img", "level 2, parent 5, http://example.test/site/q.htm, \"../q.htm\""},
      {"<link href=style.css>", "link", "level 2, parent 5, http://example.test/site/dir/style.css, \"style.css\""},
      {"<frame src=\"mailto:x@example.test\">", "frame", nullptr},
      {"<A HREF=x.htm>", "A", nullptr},
      {"<a name=top>", "a", nullptr},
  };
  auto run = [&](const Case& k) {
    const std::size_t before = list->items.size();
    c.call(c.h.chuekia, crawler, objs({c.h.element(k.tag), c.h.str(k.name)}));
    if (k.node == nullptr) {
      c.eq(static_cast<std::int64_t>(list->items.size() - before), 0, std::string(k.tag) + ": no node");
    } else {
      c.eq(list->items.size() > before ? nodeText(list->items.back()) : "<none>", k.node, k.tag);
    }
  };
  for (const Case& k : saved) run(k);

  // A page of this crawl: every link is resolved against the base.
  Host::state(inHand, "previouslyDownloaded") = Value::of(0);
  run({"<a href=\"../../site 8080/p.htm\">", "a",
       "level 3, parent 5, http://example.test/site 8080/p.htm, \"../../site 8080/p.htm\""});
  // Different quotes at the two ends both stay.
  run({"<img src='a.gif\">", "img", "level 2, parent 5, http://example.test/site/dir/'a.gif\", \"'a.gif\\\"\""});
}

// ---- request headers and freshness ---------------------------------------

void requestHeaders(Ctx& c) {
  Object* crawler = c.h.crawler();
  const Value fo = c.call(c.h.fmtGMT, crawler, {});
  c.check(fo.o != nullptr && fo.o->cls->name == "java/text/SimpleDateFormat", "fmtGMT gives a SimpleDateFormat");
  if (fo.o == nullptr) return;
  c.eq(httpDate(0, static_cast<int>(fo.o->number)), "Thu, 01 Jan 1970 00:00:00 GMT", "its dates are in GMT");
  Host::field(crawler, "fo") = fo;

  Object* parent = c.h.node(0, -1, c.h.url("http://example.test/"), nullptr);
  Host::field(crawler, "urlToLoad").o->items.push_back(parent);
  const std::string name = c.work("page.htm");
  disk::writeFile(name, "saved");
  disk::setMtime(name, kServerTime);
  Object* node = c.h.node(1, 0, c.h.url("http://example.test/page.htm"), nullptr);
  Host::state(Host::field(crawler, "cookiesCol").o, "value") = Value::obj(c.h.str("a=1"));
  Host::field(crawler, "range") = Value::obj(c.h.str("bytes=1024-"));
  Object* conn = c.h.connection(Host::state(node, "url").o, nullptr);
  c.call(c.h.setRequestProperties, crawler, objs({conn, node, c.h.file(name)}));
  c.eq(conn->text,
       "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows NT\n"
       "Referer: http://example.test/\n"
       "Cookie: a=1\n"
       "Range: bytes=1024-\n"
       "If-Range: Fri, 13 Feb 2009 23:31:30 GMT\n",
       "headers of a resumption");
  c.eq(c.out(), "range:bytes=1024-\n", "diagnostic");
  c.eq(c.h.stringField(crawler, "range"), "", "range sent once");

  Object* root = c.h.node(0, -1, c.h.url("http://example.test/new.htm"), nullptr);
  Host::state(Host::field(crawler, "cookiesCol").o, "value") = Value();
  Object* conn2 = c.h.connection(Host::state(root, "url").o, nullptr);
  c.call(c.h.setRequestProperties, crawler, objs({conn2, root, c.h.file(c.work("new.htm"))}));
  c.eq(conn2->text,
       "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows NT\n"
       "If-Modified-Since: Thu, 01 Jan 1970 00:00:00 GMT\n",
       "headers of a root without a local copy");
}

void freshness(Ctx& c) {
  const std::string name = c.work("page.htm");
  disk::writeFile(name, "saved");
  disk::setMtime(name, kServerTime);
  struct Case {
    std::int64_t server;
    int code;
    bool marked;
  };
  const Case cases[] = {
      {kServerTime, 200, true},
      {kServerTime + 999, 200, true},
      {kServerTime + 1000, 200, false},
      {kServerTime + 4294967296LL, 200, false},  // the difference needs all 64 bits
      {0, 200, true},
      {kServerTime, 206, false},
  };
  for (const Case& k : cases) {
    Object* node = savedNode(c, "http://example.test/page.htm", name, k.code);
    Host::state(node, "lastModified") = Value::of(k.server);
    // Which of the two times is read first is the platform's own order.
    c.beginPlatform("the order of the two time reads");
    const std::size_t from = c.vm.rec().lines().size();
    c.call(c.h.lokboi, c.h.crawler(), objs({c.h.file(name), node}));
    std::size_t fileAt = 0, nodeAt = 0;
    for (std::size_t i = from; i < c.vm.rec().lines().size(); ++i) {
      const std::string& l = c.vm.rec().lines()[i];
      if (l.find("File.lastModified()") != std::string::npos) fileAt = i;
      if (l.find("NodeURL.getLastModified()") != std::string::npos) nodeAt = i;
    }
    if (k.code != 206) {
      c.check(c.windowsSeparator() ? fileAt < nodeAt : nodeAt < fileAt,
              c.windowsSeparator() ? "the local time is read first" : "the server time is read first");
    }
    c.endPlatform();
    c.eq(node->text, k.marked ? "setPreviouslyDownloaded" : "",
         "server " + std::to_string(k.server - kServerTime) + " ms after the file, code " + std::to_string(k.code));
  }
}

// ---- page scan ---------------------------------------------------------------

void pageScan(Ctx& c) {
  Object* crawler = c.h.crawler();
  const std::string name = c.work("site/index.htm");
  disk::makeDir(c.work("site"));
  disk::writeFile(name, "<html><body><a href=\"b.htm\">b</a> <img src=i.gif></body></html>");
  Object* node = savedNode(c, "http://example.test/index.htm", name, 200);
  Host::state(node, "html") = Value::of(1);
  Host::state(node, "downloaded") = Value::of(1);
  Host::field(crawler, "lURL") = Value::obj(node);
  Host::field(crawler, "urlIndex") = Value::of(0);
  Host::state(crawler, "slashCount") = Value::of(1);
  c.call(c.h.pHTML, crawler, objs({node}));

  const auto& list = Host::field(crawler, "urlToLoad").o->items;
  std::string got;
  for (Object* n : list) got += nodeText(n) + "\n";
  c.eq(got,
       "level 1, parent 0, http://example.test/b.htm, \"b.htm\"\n"
       "level 0, parent 0, http://example.test/i.gif, \"i.gif\"\n",
       "discovered nodes");
  c.check(Host::field(crawler, "baseURL").o == Host::state(node, "url").o, "baseURL is the page's URL");
  c.eq(Host::field(crawler, "baseFileSlashCount").i, 1, "baseFileSlashCount from the host");

  const std::string before = c.out();
  Object* gone = savedNode(c, "http://example.test/gone.htm", c.work("gone.htm"), 200);
  Host::state(gone, "html") = Value::of(1);
  Host::state(gone, "downloaded") = Value::of(1);
  c.call(c.h.pHTML, crawler, objs({gone}));
  c.eq(c.out().substr(before.size()), "FileNotFoundException occured in FileInputStream.\n", "missing page: diagnostic");
  c.eq(crawler->text, "Error reading downloaded file :" + c.work("gone.htm") + "\n", "missing page: log");
}

struct Scenario {
  const char* name;
  std::vector<const char*> natives;
  void (*run)(Ctx&);
};

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"jiplok_transfer_250", {"jiplok"}, transfer250},
      {"jiplok_stop", {"jiplok"}, transferStop},
      {"jiplok_read_error", {"jiplok"}, transferReadError},
      {"jiplok_create_error", {"jiplok"}, transferCreateError},
      {"chiap_range", {"chiap"}, triageRange},
      {"chiap_404", {"chiap"}, triage404},
      {"repAttrib_paths", {"repAttrib"}, rewritePaths},
      {"doOneTag_page", {"doOneTag"}, tagReader},
      {"chuekia_links", {"chuekia"}, linkDiscovery},
      {"setRequestProperties_headers", {"fmtGMT", "setRequestProperties"}, requestHeaders},
      {"lokboi_times", {"lokboi"}, freshness},
      {"pHTML_scan", {"pHTML", "doOneTag", "chuekia"}, pageScan},
  };
  return all;
}

// The natives' standard output goes to a file that the record reads back.
bool captureStdout(const std::string& path) {
  std::fflush(stdout);
#ifdef _WIN32
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0 || _dup2(fd, 1) != 0) return false;
  _close(fd);
  _setmode(1, _O_BINARY);
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::dup2(fd, 1) < 0) return false;
  ::close(fd);
#endif
  return true;
}

int runScenario(const Scenario& s, const std::string& library, const std::string& outDir) {
  disk::makeDir(outDir);
  const std::string base = disk::fullPath(outDir);
  const char sep = kSeparator;
  const std::string record = base + sep + s.name + ".record";
  const std::string work = base + sep + s.name + ".work";
  disk::removeTree(work);
  if (!disk::makeDir(work)) {
    std::fprintf(stderr, "jnidouble: cannot make %s\n", work.c_str());
    return 2;
  }
  const std::string captured = base + sep + s.name + ".stdout";
  if (!captureStdout(captured)) {
    std::fprintf(stderr, "jnidouble: cannot capture stdout into %s\n", captured.c_str());
    return 2;
  }

  Vm vm;
  setRecordPath(vm, record);
  vm.workDir = work;
  vm.now = 1700000000000LL;
  vm.rec().captureStdout(captured);
  Host h(vm);
  Ctx c(vm, h);
  vm.rec().raw(std::string("scenario ") + s.name);
  c.beginPlatform("the platform's file separator");
  vm.rec().raw(std::string("File.separatorChar = '") + vm.separator + "'");
  c.endPlatform();

  Library lib;
  std::string error;
  if (!lib.open(disk::fullPath(library), error)) vm.fatal("cannot load the library: " + error);
  for (const char* name : s.natives) {
    Native* n = h.native(name);
    if (!lib.bind(*n)) {
      vm.rec().raw("FAIL: the library does not export " + n->symbol());
      vm.rec().write(record);
      std::fprintf(stderr, "%s: the library does not export %s\n", s.name, n->symbol().c_str());
      return 1;
    }
  }
  s.run(c);
  vm.rec().raw(c.failures == 0 ? "result: ok" : "result: " + std::to_string(c.failures) + " failed");
  if (!vm.rec().write(record)) {
    std::fprintf(stderr, "jnidouble: cannot write %s\n", record.c_str());
    return 2;
  }
  return c.failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace jd

namespace jd {
int selfTestMain(int argc, char** argv);
}

int main(int argc, char** argv) {
  if ((argc == 2 || argc == 4) && std::strcmp(argv[1], "--selftest") == 0) return jd::selfTestMain(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const auto& s : jd::scenarios()) std::printf("%s\n", s.name);
    return 0;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: jnidouble LIBRARY SCENARIO OUTDIR | jnidouble --list\n");
    return 2;
  }
  for (const auto& s : jd::scenarios()) {
    if (s.name == std::string(argv[2])) return jd::runScenario(s, argv[1], argv[3]);
  }
  std::fprintf(stderr, "jnidouble: no scenario %s\n", argv[2]);
  return 2;
}
